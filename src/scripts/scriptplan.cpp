#include "scriptplan.h"

#include <QJSEngine>
#include <QRegularExpression>
#include <QSet>

namespace {

QSet<QString> wordsOf(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("[\\p{L}_$][\\p{L}\\p{N}_$]*"));
    QSet<QString> words;
    for (auto it = word.globalMatch(text); it.hasNext();)
        words.insert(it.next().captured());
    return words;
}

// Words through which code reaches the global object or another function's variables.
const QStringList &scopeWords()
{
    static const QStringList words{
        QStringLiteral("this"),        QStringLiteral("eval"),
        QStringLiteral("with"),        QStringLiteral("globalThis"),
        QStringLiteral("Function"),    QStringLiteral("constructor"),
        QStringLiteral("Reflect"),     QStringLiteral("__proto__"),
        QStringLiteral("__defineGetter__"), QStringLiteral("__defineSetter__"),
        QStringLiteral("__lookupGetter__"), QStringLiteral("__lookupSetter__")};
    return words;
}

QString firstOf(const QSet<QString> &words, const QStringList &wanted)
{
    for (const QString &w : wanted) {
        if (words.contains(w))
            return w;
    }
    return {};
}

QString fieldAssignments(const QStringList &fields)
{
    QString text;
    for (int i = 0; i < fields.size(); ++i)
        text += QStringLiteral("%1 = __ta_s.f[%2]; ").arg(fields[i]).arg(i);
    return text;
}

// The string literal of a name, for a property key.
QString quoted(const QString &name)
{
    QString text = QStringLiteral("\"");
    for (const QChar c : name) {
        if (c == u'"' || c == u'\\' || c.unicode() < 0x20)
            text += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text + QLatin1Char('"');
}

// A function the per-bar text makes itself (an expression, an arrow, a class, a method or
// accessor of an object literal): it keeps the scope it was made in, so it would keep one
// pass's copies of the text's variables when the text runs as a function. Found by its
// keyword, its arrow, or "(...) {" after a name that is not a statement's keyword; a string
// or a comment that looks like one only costs speed.
QString functionMadeIn(const QString &text, const QSet<QString> &words)
{
    for (const char *w : {"function", "class"}) {
        if (words.contains(QLatin1String(w)))
            return QLatin1String(w);
    }
    if (text.contains(QLatin1String("=>")))
        return QStringLiteral("=>");
    static const QSet<QString> statements{QStringLiteral("if"), QStringLiteral("for"),
                                          QStringLiteral("while"), QStringLiteral("switch"),
                                          QStringLiteral("catch"), QStringLiteral("with")};
    QList<int> open;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == u'(') {
            open.append(i);
        } else if (text[i] == u')' && !open.isEmpty()) {
            const int start = open.takeLast();
            int next = i + 1;
            while (next < text.size() && text[next].isSpace())
                ++next;
            if (next >= text.size() || text[next] != u'{')
                continue;
            int end = start;
            while (end > 0 && text[end - 1].isSpace())
                --end;
            int begin = end;
            while (begin > 0 && (text[begin - 1].isLetterOrNumber() || text[begin - 1] == u'_'
                                 || text[begin - 1] == u'$'))
                --begin;
            if (!statements.contains(text.mid(begin, end - begin)))
                return QStringLiteral("a method ") + text.mid(begin, i + 1 - begin);
        }
    }
    return {};
}

} // namespace

ScriptPlan ScriptPlan::analyse(const QString &barScript, const QString &otherTexts)
{
    ScriptPlan plan;
    const QSet<QString> words = wordsOf(barScript);
    if (barScript.contains(QLatin1String("use strict"))) {
        plan.reason = QStringLiteral("a \"use strict\" directive");
        return plan;
    }
    for (const QString &w : words) {
        if (w.startsWith(QLatin1String("__ta_"))) {
            plan.reason = QStringLiteral("the name ") + w;
            return plan;
        }
    }

    // The engine itself tells what the text declares: a scratch engine without the usual
    // globals instantiates the text's variables and functions and stops at once.
    QJSEngine scratch;
    QJSValue global = scratch.globalObject();
    const QJSValue ownNames = scratch.evaluate(QStringLiteral("Object.getOwnPropertyNames"));
    const QJSValue before = ownNames.call({global});
    const int beforeCount = before.property(QStringLiteral("length")).toInt();
    for (int i = 0; i < beforeCount; ++i)
        global.deleteProperty(before.property(quint32(i)).toString());
    const QJSValue kept = ownNames.call({global});
    QSet<QString> builtIn;
    for (int i = 0, n = kept.property(QStringLiteral("length")).toInt(); i < n; ++i)
        builtIn.insert(kept.property(quint32(i)).toString());
    QStringList trace;
    const QJSValue stopped =
        scratch.evaluate(QStringLiteral("throw 0;\n") + barScript, QString(), 0, &trace);
    if (stopped.isError()) {
        plan.reason = QStringLiteral("not a script of its own: ") + stopped.toString();
        return plan;
    }
    QStringList declared;
    const QJSValue after = ownNames.call({global});
    for (int i = 0, n = after.property(QStringLiteral("length")).toInt(); i < n; ++i) {
        const QString name = after.property(quint32(i)).toString();
        if (builtIn.contains(name))
            continue;
        if (global.property(name).isCallable()) {
            plan.reason = QStringLiteral("the function declaration ") + name;
            return plan;
        }
        declared.append(name);
    }
    plan.kind = Loop;

    if (barScript.contains(QLatin1String("\\u")) || otherTexts.contains(QLatin1String("\\u"))) {
        plan.reason = QStringLiteral("escapes in names");
        return plan;
    }
    QStringList barWords = scopeWords();
    barWords.append(QStringLiteral("arguments"));
    if (const QString w = firstOf(words, barWords); !w.isEmpty()) {
        plan.reason = QStringLiteral("the word ") + w;
        return plan;
    }
    if (const QString made = functionMadeIn(barScript, words); !made.isEmpty()) {
        plan.reason = QStringLiteral("a function made in the per-bar text: ") + made;
        return plan;
    }
    const QSet<QString> others = wordsOf(otherTexts);
    if (const QString w = firstOf(others, scopeWords()); !w.isEmpty()) {
        plan.reason = QStringLiteral("the word ") + w + QStringLiteral(" outside the per-bar text");
        return plan;
    }
    for (const QString &name : std::as_const(declared)) {
        if (others.contains(name)) {
            plan.reason = QStringLiteral("the variable ") + name
                          + QStringLiteral(" is named outside the per-bar text");
            return plan;
        }
    }
    declared.sort();
    plan.kind = Function;
    plan.locals = declared;
    return plan;
}

QString ScriptPlan::loopText(const QString &barScript, const QStringList &fields)
{
    return QStringLiteral("for (let __ta_s = this.__ta_state, __ta_d = delete this.__ta_state, "
                          "__ta_b = __ta_s.from; __ta_b <= __ta_s.till; ++__ta_b) { "
                          "CurrentBar = __ta_b; __ta_s.cur = __ta_b; ")
           + fieldAssignments(fields) + barScript + QStringLiteral("\n}");
}

QString ScriptPlan::driverText(const QString &barScript, const QStringList &locals,
                               const QStringList &fields)
{
    // The variables are declared before they are copied in, as the text's own declarations
    // would hoist them anyway.
    QString copyIn = locals.isEmpty() ? QString()
                                      : QStringLiteral("var ") + locals.join(QStringLiteral(", "))
                                            + QStringLiteral("; ");
    QString copyOut;
    for (const QString &name : locals) {
        copyIn += QStringLiteral("%1 = __ta_g[%2]; ").arg(name, quoted(name));
        copyOut += QStringLiteral("__ta_g[%2] = %1; ").arg(name, quoted(name));
    }
    return QStringLiteral("(function (__ta_s, __ta_g) { ") + copyIn
           + QStringLiteral("try { for (var __ta_b = __ta_s.from; __ta_b <= __ta_s.till; "
                            "++__ta_b) { CurrentBar = __ta_b; __ta_s.cur = __ta_b; ")
           + fieldAssignments(fields) + barScript + QStringLiteral("\n} } finally { ") + copyOut
           + QStringLiteral("} return __ta_s; })");
}
