#pragma once
// Page scripts of the script bridge, as pure text builders.
//
// Every element operation runs locator(...) + its own part; page operations
// run their script alone; WebView runs it with the page library and reads
// the page variable `text` back. All texts are byte text (GB18030).
//
// Escaping: a value inserted inside a quoted literal of a script (values,
// texts, html, file paths, urls, attribute and event names, the tag and key of
// a locator, frame paths) keeps the meaning its own escapes have in a script
// literal ("\n" is a line break), while a quote, line break or NUL in it can
// never end the literal. The code handed to a frame's eval is escaped
// completely, so that it reaches eval unchanged. Text that the scripts use as
// code (property and method names, member steps, statements, scripts) is
// inserted as it is. A text without quote, backslash, line break or NUL is
// inserted unchanged.
//
// Values are written through the element class's own setter (set_own in the
// page library), past a setter a framework put on the element itself, so that
// the framework sees the change once the page's events run.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace webview::bridge {

// The page library (GB18030 and UTF-16), ending with a line break.
const std::string& pageLibrary();
const std::u16string& pageLibraryUtf16();

// ---- Runs with the page library ---------------------------------------------
//
// The library is installed once per document: libraryInstaller() defines it
// under the non-enumerable window property kLibraryName. libraryRun(script)
// checks that it is there and calls the script with the library's functions
// as its own names; when it is missing the run does nothing else and answers
// libraryMissingMark(), a text no page can know. inlineRun(script) carries
// the whole library, for a page where the install cannot stand.

inline constexpr char kLibraryName[] = "__tolvane_pagelib";

const std::u16string& libraryInstaller();
// The run's `text` starts as the value the last run in the document left
// and is kept for the next run unless keepsText is false (a run with a
// `text` of its own).
std::u16string libraryRun(std::u16string_view script, bool keepsText = true);
std::u16string inlineRun(std::u16string_view script);
const std::string& libraryMissingMark();
// What a run answers when a frame walk of the library (x_f, x_f2)
// meets a frame this document cannot enter (another origin, or eval
// forbidden there); a text no page can know.
const std::string& frameBarrierMark();

// text escaped for a JavaScript string literal delimited by quote (' or ").
// Steps over GB18030 characters, so a trail byte 0x5C is never taken for a
// backslash.
std::string escapeForLiteral(std::string_view text, char quote);
// text for a literal delimited by quote, keeping its own escapes: \n \r \t
// \b \f \v \0 \\ \' \" \xHH \uHHHH mean what they mean in a script
// literal, another backslash is dropped (a lone trailing one stays a
// backslash); quotes, CR, LF and NUL are escaped.
std::string valueForLiteral(std::string_view text, char quote);

// The locator script that defines `dom` (and `doc` with a frame path).
std::string locator(std::string_view tag, std::string_view key, int skip,
                    std::string_view attribute, std::string_view frame, std::string_view step);

// The locator run inside the frame itself (doc is that frame's document).
std::string frameLocator(std::string_view tag, std::string_view key, int skip,
                         std::string_view attribute, std::string_view step);
// Step `step` of a frame path taken in one frame's document (windows: as
// runFrameScript's path, else as the locator's): the text is the index among
// window.frames of the frame it names, "stay" (runFrameScript's path keeps
// the frame it has) or -1.
std::string frameStep(std::string_view path, int step, bool windows);

// ---- Parts appended to the locator script -------------------------------

// Dispatches a "MouseEvents" event of the given type on dom (the change
// fragment with another event name).
std::string changeEvent(std::string_view eventName = "change");

std::string getElementPosition();
std::string waitForElement();
std::string getChecked();
std::string getCanvasImage();
std::string setChecked(bool state);
std::string setSelectedIndex(int index);
std::string getSelectedOption();
std::string setComboValue(std::string_view value);
std::string selectOptionByText(std::string_view optionText);
std::string listOptions();
std::string getValue();
std::string getInnerHtml();
// The value; an editable element without a value of its own (contenteditable)
// gets it as its shown text.
std::string setValue(std::string_view value);
// The steps of uploadFile: whether the element is a file input ("true"),
// where to click it ("file:x,y") or, with clear, emptying it, and the end.
std::string isFileInput();
std::string fileInputTarget(bool clear);
std::string fileInputDone();
std::string setInnerHtml(std::string_view html);
std::string getImageSrc();
std::string setProperty(std::string_view propertyName, std::string_view value);
std::string getProperty(std::string_view propertyName);
std::string click();
std::string focus();
std::string blur();
std::string callElementMethod(std::string_view methodName);
// Also fireChange, fireKeyUp, fireKeyDown, fireKeyPress with "change",
// "keyup", "keydown" and "keypress".
std::string fireElementEvent(std::string_view eventName);
std::string fireElementMouseEvent(std::string_view eventName, bool bubbles, bool cancelable,
                                  int screenX, int screenY, int clientX, int clientY);
std::string fireTouchEvent(std::string_view eventName, bool bubbles, bool cancelable);
std::string runElementScript(std::string_view statement);
std::string setElementAttribute(std::string_view attributeName, std::string_view value);
std::string hideElement();
std::string getElementAttribute(std::string_view attributeName);

// ---- Page scripts -------------------------------------------------------

std::string navigate(std::string_view url);
std::string getPageUrl(std::string_view frame);
std::string getDocumentProperty(std::string_view propertyName);
std::string getPageText();
std::string getPageSource();
std::string scrollTo(std::optional<int> x, std::optional<int> y);
std::string getScrollPosition();
std::string blockAlerts();
std::string clickAtPoint(int x, int y);
std::string getReferrer();
std::string listElements(std::string_view tag, std::string_view text, bool mark);
std::string runFrameScript(std::string_view frame, std::string_view code);
// runFrameScript's code as a whole script run in the frame itself, without
// eval: its completion value is ["v", text], or ["e", message] when it throws.
std::string frameScript(std::string_view code);

// ---- Reading results ----------------------------------------------------

// The leading decimal number as atof reads it, truncated toward zero (0 when
// there is none; clamped to the int range).
int readNumber(std::string_view text);
// Pieces between separators; one empty piece at the end is dropped.
std::vector<std::string> splitText(std::string_view text, std::string_view separator);

// "index|value|text": sets the outs and gives "success". "", "undefined" and
// "error" (a run that failed in the page) are passed on; fewer than 3 pieces
// leave the outs and still give "success".
std::string readSelectedOption(const std::string& result, int& index, std::string& value,
                               std::string& text);
// Lines "text|value": appended to the arrays (lines with fewer than 2 pieces
// are skipped) and "success"; "", "undefined" and "error" are passed on.
std::string readOptionList(const std::string& result, std::vector<std::string>& texts,
                           std::vector<std::string>& values);
// "x,y": sets the outs and gives "success"; otherwise "" with the outs kept.
std::string readScrollPosition(const std::string& result, int& x, int& y);

}  // namespace webview::bridge
