#include "scripttext.h"

#include <QRegularExpression>
#include <QSet>

namespace ScriptText {

bool isIdentifier(const QString &name)
{
    // The language's own rule: a letter of any script (Russian names included), "_" or "$",
    // then letters, digits, combining marks and connectors.
    static const QRegularExpression identifier(QStringLiteral(
        "^[\\p{L}\\p{Nl}_$][\\p{L}\\p{Nl}\\p{Mn}\\p{Mc}\\p{Nd}\\p{Pc}_$\\x{200C}\\x{200D}]*$"));
    static const QSet<QString> reserved{
        "break", "case", "catch", "class", "const", "continue", "debugger", "default", "delete",
        "do", "else", "enum", "export", "extends", "false", "finally", "for", "function", "if",
        "import", "in", "instanceof", "new", "null", "return", "super", "switch", "this",
        "throw", "true", "try", "typeof", "var", "void", "while", "with", "yield", "let",
        "static", "implements", "interface", "package", "private", "protected", "public",
        "await", "arguments", "eval", "undefined", "NaN", "Infinity"};
    return identifier.match(name).hasMatch() && !reserved.contains(name);
}

QString fragment(const QString &name, const QString &value)
{
    if (!isIdentifier(name))
        throw QStringLiteral("Недопустимое имя параметра: \"%1\"").arg(name);
    return name + QLatin1Char('=') + value + QStringLiteral("; \n");
}

QString barScript(const QMap<QString, ScriptParameter> &parameters, const QString &code)
{
    QString text;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        if (it.value().isFormula && !it.value().value.trimmed().isEmpty())
            text += fragment(it.key(), it.value().value);
    }
    return text + code;
}

QString preparation(const QMap<QString, ScriptParameter> &parameters,
                    const QMap<QString, QString> &functions, const QString &declaration)
{
    QString text;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        if (!it.value().isFormula && !it.value().value.trimmed().isEmpty())
            text += fragment(it.key(), it.value().value);
    }
    for (auto it = functions.cbegin(); it != functions.cend(); ++it)
        text += it.value() + QStringLiteral("; \n");
    return text + declaration;
}

} // namespace ScriptText
