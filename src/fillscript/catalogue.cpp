#include "fillscript/catalogue.h"

#include "fillscript/arguments.h"
#include "runtime/gbtext.h"
#include "runtime/textcodec.h"

namespace fillscript {
namespace {

// Sources are UTF-8; the texts are converted to GB18030 once, on first use.
const char kCommandNames[] =
    "填表_跳转地址\r\n"
    "填表操作_取元素绝对位置\r\n"
    "填表操作_判断元素是否存在\r\n"
    "填表操作_取选中状态\r\n"
    "填表操作_取canvas图片\r\n"
    "填表操作_置选中状态\r\n"
    "填表操作_置组合框索引\r\n"
    "填表操作_取组合框索引信息\r\n"
    "填表操作_置组合框内容\r\n"
    "填表操作_置组合框按内容选中\r\n"
    "填表操作_枚举组合框内容\r\n"
    "填表操作_取内容\r\n"
    "填表操作_取源码\r\n"
    "填表操作_上传文件\r\n"
    "填表操作_写内容\r\n"
    "填表操作_写源码\r\n"
    "填表操作_取图片地址\r\n"
    "填表操作_写属性\r\n"
    "填表操作_取属性\r\n"
    "填表事件_点击\r\n"
    "填表事件_置焦点\r\n"
    "填表事件_失去焦点\r\n"
    "填表事件_改变内容\r\n"
    "填表事件_键盘弹起\r\n"
    "填表事件_键盘按住\r\n"
    "填表事件_键盘按下\r\n"
    "填表事件_滑动\r\n"
    "填表事件_方法\r\n"
    "填表事件_普通事件\r\n"
    "填表事件_鼠标事件\r\n"
    "填表事件_触摸事件\r\n"
    "填表_取网址\r\n"
    "填表_取页面属性\r\n"
    "填表_取页面文本\r\n"
    "填表_取页面源码\r\n"
    "填表_控制滚动条\r\n"
    "填表_取滚动条位置\r\n"
    "填表_屏蔽信息框\r\n"
    "填表_坐标点击\r\n"
    "填表_取网页来路\r\n"
    "填表_遍历元素\r\n"
    "内部_构造对象代码\r\n"
    "填表_执行框架内JS代码\r\n"
    "填表_执行自定义JS代码\r\n"
    "填表操作_执行自定义代码_返回值\r\n"
    "填表操作_写自定义属性\r\n"
    "填表操作_取自定义属性\r\n"
    "填表操作_移动到目标元素";

const char kParamCounts[] =
    "1\r\n"
    "7\r\n"
    "8\r\n"
    "7\r\n"
    "7\r\n"
    "8\r\n"
    "8\r\n"
    "10\r\n"
    "8\r\n"
    "8\r\n"
    "9\r\n"
    "7\r\n"
    "7\r\n"
    "8\r\n"
    "8\r\n"
    "8\r\n"
    "7\r\n"
    "9\r\n"
    "8\r\n"
    "7\r\n"
    "7\r\n"
    "7\r\n"
    "7\r\n"
    "7\r\n"
    "7\r\n"
    "7\r\n"
    "11\r\n"
    "8\r\n"
    "8\r\n"
    "14\r\n"
    "10\r\n"
    "6\r\n"
    "1\r\n"
    "0\r\n"
    "0\r\n"
    "2\r\n"
    "2\r\n"
    "0\r\n"
    "2\r\n"
    "0\r\n"
    "4\r\n"
    "6\r\n"
    "2\r\n"
    "2\r\n"
    "8\r\n"
    "9\r\n"
    "8\r\n"
    "9";

const char kParamDescs[] =
    "跳转地址,文本型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|判断次数,整数型, 至少1次，每500毫秒自动判断1次|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|是否选中,逻辑型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|索引,整数型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|返回当前索引,整数型,|返回当前value,文本型,|返回当前文本,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|value内容,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|匹配内容,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|存放返回文本,文本型,|存放返回value,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|文件路径,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|写入的内容,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|写入的内容,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|属性名,文本型,|写入内容,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|读取属性,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|起始坐标x,整数型,|起始坐标y,整数型,|结束坐标x,整数型,|结束坐标y,整数型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|执行方法名,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|执行事件名,文本型, 事件参考：https://developer.mozilla.org/en-US/docs/Web/Events|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|执行事件名,文本型, 事件参考：https://developer.mozilla.org/en-US/docs/Web/Events|是否冒泡,逻辑型, 表示事件是否应该冒泡，针对鼠标事件模拟，该值应该被设置为true。|是否能取消,逻辑型, 表示该事件是否能够被取消，针对鼠标事件模拟，该值应该被设置为true。|screenX,整数型, 屏幕里的x坐标|screenY,整数型, 屏幕里的y坐标|clientX,整数型, 浏览器里的X坐标|clientY,整数型, 浏览器里的y坐标|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|执行事件名,文本型, 事件参考：https://developer.mozilla.org/en-US/docs/Web/Events|是否冒泡,逻辑型, 表示事件是否应该冒泡，针对鼠标事件模拟，该值应该被设置为true。|是否能取消,逻辑型, 表示该事件是否能够被取消，针对鼠标事件模拟，该值应该被设置为true。|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型,|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|执行事件名,文本型, 事件参考：https://developer.mozilla.org/en-US/docs/Web/Events|是否冒泡,逻辑型, 表示事件是否应该冒泡，针对鼠标事件模拟，该值应该被设置为true。|是否能取消,逻辑型, 表示该事件是否能够被取消，针对鼠标事件模拟，该值应该被设置为true。|是否GBK编码,逻辑型,|\r\n"
    "属性名称,文本型,|\r\n"
    "\r\n"
    "\r\n"
    "横坐标,整数型, 留空不变|竖坐标,整数型, 留空不变|\r\n"
    "返回横坐标,整数型,|返回竖坐标,整数型,|\r\n"
    "\r\n"
    "X坐标,整数型,|Y坐标,整数型,|\r\n"
    "\r\n"
    "遍历的标签,文本型,|指定特征字,文本型, 可指定ID、class、Name、value、innerText遍历，留空则不指定|是否标记,逻辑型, 是否在元素上面标记内容|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型,|跳过次数,整数型,|自定义属性名,文本型,|穿透框架,文本型,|父子操作,文本型,|\r\n"
    "穿透框架,文本型,|JS代码语句,文本型,|\r\n"
    "JavaScript,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|执行语句,文本型, dom.执行语句;|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型, 可以指定自定义属性名来定位|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|属性名,文本型,|写入内容,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型, 可以指定自定义属性名来定位|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|读取属性,文本型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型, 可以指定自定义属性名来定位|父子操作,文本型,|是否GBK编码,逻辑型,|\r\n"
    "标签名,文本型,|ID_名称_索引,文本型, 支持 ID、value、Class、Text、href、索引|浏览框句柄,整数型,|是否点击,逻辑型,|跳过次数,整数型,|穿透框架,文本型, 支持 ID、value、Class、Text、href、索引|自定义属性名,文本型, 可以指定自定义属性名来定位|父子操作,文本型,|是否GBK编码,逻辑型,|";

CommandCatalogue& mutableCatalogue()
{
    static CommandCatalogue c;
    return c;
}

int indexOf(std::string_view name)
{
    const auto& names = mutableCatalogue().commandNames;
    if (name.empty())
        return -1;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return int(i);
    return -1;
}

}  // namespace

const std::string& CommandNamesText()
{
    static const std::string text = rt::gb(kCommandNames);
    return text;
}

const std::string& ParamCountsText()
{
    static const std::string text = rt::gb(kParamCounts);
    return text;
}

const std::string& ParamDescsText()
{
    static const std::string text = rt::gb(kParamDescs);
    return text;
}

std::vector<std::string> splitText(std::string_view text, std::string_view sep)
{
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    if (sep.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, sep.size(), sep) == 0) {
            pieces.emplace_back(text.substr(start, i - start));
            i += sep.size();
            start = i;
        } else {
            i += rt::gbCharLen(text, i);
        }
    }
    if (start < text.size())
        pieces.emplace_back(text.substr(start));
    return pieces;
}

const CommandCatalogue& catalogue()
{
    return mutableCatalogue();
}

void buildCatalogue()
{
    CommandCatalogue fresh;
    fresh.commandNames = splitText(CommandNamesText(), "\r\n");
    fresh.paramCounts = splitText(ParamCountsText(), "\r\n");
    fresh.paramDescs = splitText(ParamDescsText(), "\r\n");
    mutableCatalogue() = std::move(fresh);
}

int findParamCount(std::string_view name)
{
    const int i = indexOf(name);
    if (i < 0)
        return -1;
    const auto& counts = mutableCatalogue().paramCounts;
    return std::size_t(i) < counts.size() ? argInteger(counts[std::size_t(i)]) : 0;
}

std::string findParamDescText(std::string_view name)
{
    const int i = indexOf(name);
    const auto& descs = mutableCatalogue().paramDescs;
    if (i < 0 || std::size_t(i) >= descs.size())
        return {};
    return descs[std::size_t(i)];
}

}  // namespace fillscript
