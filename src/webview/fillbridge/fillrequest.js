// Prepares one form-fill server request for its run in the page. Runs in the
// engine's isolated world, where eval works whatever the page's policy says,
// and is applied to (token, request, failMark): the bridge's token in this
// document, the request as received (URI-encoded), and the text that the
// page-world run answers when the request throws.
//
// Answers ["gone"] when the bridge's document has been replaced, ["failed"]
// when the request cannot be decoded or does not compile (the error is
// reported as an uncaught one, as the page would), else [kind, script]: the
// script to run in the page's world as it is. Kind "text": it answers
// ["v", the request's value as text]; kind "completion": it answers the
// request's completion value itself (only when the request does not end in an
// expression).
(function (token, request, failMark) {
    if (!(window.tolvaneFillTokens && window.tolvaneFillTokens[token] === true))
        return ["gone"];

    function report(error) {
        setTimeout(function () { throw error; }, 0);
    }

    var code;
    try {
        code = decodeURIComponent(request);
    } catch (e) {
        report(e);
        return ["failed"];
    }

    // Whether text compiles as a script; the leading throw keeps it from running.
    function compileError(text) {
        try {
            (0, eval)("throw 1;\n" + text);
        } catch (e) {
            return e === 1 ? null : e;
        }
        return null;
    }
    function compiles(text) {
        return compileError(text) === null;
    }

    var error = compileError(code);
    if (error !== null) {
        report(error);
        return ["failed"];
    }

    // A statement that starts with one of these is no expression statement,
    // even where the same text reads as an expression in parentheses.
    var notExpression = /^(?:\s|\/\/[^\n\r\u2028\u2029]*|\/\*[\s\S]*?\*\/)*(?:\{|function\b|class\b|async\b|let\b)/;
    function isExpression(text) {
        return /\S/.test(text) && !notExpression.test(text) && compiles("(" + text + "\n)");
    }

    // The request's value is the value of its last statement. Find a split
    // at a semicolon that ends a statement (not one inside a line comment,
    // which the added ")" tells apart) after which one expression follows.
    var body = code.replace(/[\s;]+$/, "");
    var fail = "catch(e){setTimeout(function(){throw e;},0);" + JSON.stringify(failMark) + "}";
    var splits = [-1];
    for (var at = body.length; splits.length < 16 && at > 0;) {
        at = body.lastIndexOf(";", at - 1);
        if (at < 0)
            break;
        splits.push(at);
    }
    for (var i = 0; i < splits.length; ++i) {
        var prefix = body.slice(0, splits[i] + 1);
        var last = body.slice(splits[i] + 1);
        if (!isExpression(last))
            continue;
        if (prefix && !(compiles(prefix) && !compiles(prefix + ")")))
            continue;
        return ["text", "try{\n" + prefix + "\n[\"v\",\"\"+(" + last + "\n)]\n}" + fail];
    }
    return ["completion", "try{\n" + code + "\n}" + fail];
})
