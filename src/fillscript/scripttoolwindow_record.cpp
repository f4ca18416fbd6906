// The tool window's side of recording and picking: switching the recorder,
// and putting what it hands back into the script at the caret.
#include "fillscript/catalogue.h"
#include "fillscript/gbeditor.h"
#include "fillscript/pagerecorder.h"
#include "fillscript/scripttoolwindow.h"
#include "runtime/textcodec.h"

#include <QAbstractButton>
#include <QListWidget>
#include <QSignalBlocker>

namespace fillscript {
namespace {

// Index of the parameter whose description segment starts with `name` + ",",
// -1 when the command has none.
int parameterIndex(const std::vector<std::string>& segments, const std::string& name)
{
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (segments[i].compare(0, name.size() + 1, name + ",") == 0)
            return int(i);
    return -1;
}

// An empty last argument is written as a space: after a bare trailing comma
// the run would not count it.
std::string joinArguments(const std::vector<std::string>& args)
{
    std::string out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i)
            out += ',';
        out += args[i];
    }
    if (!args.empty() && args.back().empty())
        out += ' ';
    return out;
}

}  // namespace

void ScriptToolWindow::setRecorder(std::shared_ptr<PageRecorder> recorder)
{
    if (recorder_) {
        recorder_->setRecording(false);
        recorder_->setPicking(false);
        recorder_->onLine = nullptr;
        recorder_->onPick = nullptr;
        recorder_->onStateChanged = nullptr;
    }
    recorder_ = std::move(recorder);
    if (recorder_) {
        recorder_->onLine = [this](const std::string& line) { insertRecordedLine(line); };
        recorder_->onPick = [this](const RecordedLocator& loc) { insertLocator(loc); };
        recorder_->onStateChanged = [this] {
            const QSignalBlocker r(recordButton_), p(pickButton_);
            recordButton_->setChecked(recorder_->isRecording());
            pickButton_->setChecked(recorder_->isPicking());
        };
    }
    const QSignalBlocker r(recordButton_), p(pickButton_);
    recordButton_->setChecked(false);
    pickButton_->setChecked(false);
    recordButton_->setEnabled(bool(recorder_));
    pickButton_->setEnabled(bool(recorder_));
}

void ScriptToolWindow::setRecording(bool on)
{
    if (recorder_)
        recorder_->setRecording(on);
    const QSignalBlocker b(recordButton_);
    recordButton_->setChecked(recorder_ && recorder_->isRecording());
}

void ScriptToolWindow::setPicking(bool on)
{
    if (recorder_)
        recorder_->setPicking(on);
    const QSignalBlocker b(pickButton_);
    pickButton_->setChecked(recorder_ && recorder_->isPicking());
}

void ScriptToolWindow::insertRecordedLine(const std::string& gbLine)
{
    const int line = gb_->lineFromPosition(gb_->currentPos());
    const int start = gb_->positionFromLine(line);
    const int end = gb_->lineEndPosition(line);
    if (normaliseLine(gb_->textRange(start, end), false).empty()) {
        gb_->setSel(start, end);
        gb_->replaceSel(gbLine);
    } else {
        gb_->setSel(end, end);
        gb_->replaceSel("\r\n" + gbLine);
    }
    flushChange();
    // A recorded line is no word being typed.
    completionList_->hide();
}

void ScriptToolWindow::insertLocator(const RecordedLocator& loc)
{
    const int line = gb_->lineFromPosition(gb_->currentPos());
    const int start = gb_->positionFromLine(line);
    const int end = gb_->lineEndPosition(line);
    const ParsedLine p = parseLine(normaliseLine(gb_->textRange(start, end), false));
    const int count = findParamCount(p.name);
    const std::vector<std::string> segments = splitText(findParamDescText(p.name), "|");
    const int tagAt = parameterIndex(segments, rt::gb("标签名"));
    const int keyAt = parameterIndex(segments, rt::gb("ID_名称_索引"));
    const int skipAt = parameterIndex(segments, rt::gb("跳过次数"));
    const int frameAt = parameterIndex(segments, rt::gb("穿透框架"));
    const int attributeAt = parameterIndex(segments, rt::gb("自定义属性名"));

    if (count <= 0 || tagAt < 0 || keyAt < 0) {
        // No command that takes a locator: the seven locator arguments.
        gb_->replaceSel(loc.tag + ',' + loc.key + ',' + std::to_string(loc.skip) + ',' + loc.frame +
                        ',' + loc.attribute + ",," + rt::gb("假"));
        flushChange();
        return;
    }
    std::vector<std::string> args = p.args;
    args.resize(std::size_t(count));
    const auto put = [&args](int at, const std::string& value) {
        if (at >= 0)
            args[std::size_t(at)] = value;
    };
    put(tagAt, loc.tag);
    put(keyAt, loc.key);
    put(skipAt, std::to_string(loc.skip));
    put(frameAt, loc.frame);
    put(attributeAt, loc.attribute);
    const std::string text = p.name + '(' + joinArguments(args) + ')';
    gb_->setSel(start, end);
    gb_->replaceSel(text);
    flushChange();
}

}  // namespace fillscript
