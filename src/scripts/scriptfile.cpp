#include "scriptfile.h"

#include <QDomDocument>
#include <QDomElement>
#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamWriter>

namespace ScriptFileFormat {

namespace {

const QString BadFile = QStringLiteral("Некорректный файл");

// Older files carry the element's name in the interface language.
const QStringList DescriptionNames{QStringLiteral("description"), QStringLiteral("Описание"),
                                   QStringLiteral("описание")};

QDomElement descriptionElement(const QDomElement &root)
{
    for (const QString &name : DescriptionNames) {
        const QDomElement e = root.firstChildElement(name);
        if (!e.isNull())
            return e;
    }
    return {};
}

QDomDocument parse(const QByteArray &content, const QString &rootName)
{
    QDomDocument document;
    if (!document.setContent(content) || document.documentElement().tagName() != rootName)
        throw BadFile;
    return document;
}

// XML holds no control characters other than tab, line feed and carriage return; line ends
// are stored as line feeds, which reading gives back.
QString storable(const QString &text)
{
    QString result = text;
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (const QChar c : std::as_const(result)) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n') || u == 0xfffe || u == 0xffff)
            throw QStringLiteral("Невозможно записать файл: текст содержит недопустимый символ U+%1")
                .arg(u, 4, 16, QLatin1Char('0'));
    }
    // Reading drops text that is only blanks.
    if (result.trimmed().isEmpty())
        result.clear();
    return result;
}

// Written with a stream writer: attributes keep the order given here, so the same content
// always gives the same bytes.
class Writer
{
public:
    explicit Writer(const QString &root)
        : m_xml(&m_bytes)
    {
        m_xml.setAutoFormatting(true);
        m_xml.setAutoFormattingIndent(1);
        m_xml.writeStartDocument();
        m_xml.writeStartElement(root);
    }
    void text(const QString &name, const QString &value) { m_xml.writeTextElement(name, storable(value)); }
    void empty(const QString &name, const QList<QPair<QString, QString>> &attributes)
    {
        m_xml.writeEmptyElement(name);
        for (const auto &[key, value] : attributes)
            m_xml.writeAttribute(key, value);
    }
    QByteArray finish()
    {
        m_xml.writeEndElement();
        m_xml.writeEndDocument();
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    QXmlStreamWriter m_xml;
};

int intOr(const QDomElement &e, int fallback, bool *ok)
{
    bool converted = false;
    const int value = e.isNull() ? 0 : e.text().trimmed().toInt(&converted);
    *ok = !e.isNull() && converted;
    return *ok ? value : fallback;
}

} // namespace

StudyFile parseStudy(const QByteArray &content)
{
    const QDomDocument document = parse(content, QStringLiteral("study"));
    const QDomElement root = document.documentElement();
    StudyFile file;
    file.description = descriptionElement(root).text();
    file.code = root.firstChildElement(QStringLiteral("code")).text();
    file.declaration = root.firstChildElement(QStringLiteral("declaration")).text();
    for (QDomElement e = root.firstChildElement(QStringLiteral("parameter")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("parameter"))) {
        ScriptParameter parameter;
        parameter.value = e.attribute(QStringLiteral("value"));
        parameter.isFormula = e.attribute(QStringLiteral("isFormula"), QStringLiteral("false"))
                              == QLatin1String("true");
        file.parameters.insert(e.attribute(QStringLiteral("name")), parameter);
    }
    for (QDomElement e = root.firstChildElement(QStringLiteral("style")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("style"))) {
        PlotStyle style;
        bool ok = false;
        const QString name = e.attribute(QStringLiteral("name"));
        style.view = e.attribute(QStringLiteral("view")).toInt(&ok);
        if (!ok)
            throw BadFile + QStringLiteral(": view");
        // A value no plot can be drawn with is refused here, naming it, rather than when the
        // indicator is added.
        if (style.view < 0 || style.view > 2)
            throw BadFile + QStringLiteral(": вид графика \"%1\" = %2 (допустимо 0…2)").arg(name).arg(style.view);
        style.color = QColor::fromString(e.attribute(QStringLiteral("color")));
        style.lineWidth = e.attribute(QStringLiteral("lineWidth")).toInt(&ok);
        if (!ok)
            throw BadFile + QStringLiteral(": lineWidth");
        if (style.lineWidth < 1 || style.lineWidth > 10)
            throw BadFile + QStringLiteral(": толщина линии \"%1\" = %2 (допустимо 1…10)")
                                .arg(name)
                                .arg(style.lineWidth);
        file.styles.insert(name, style);
    }
    bool ok = false;
    const int axis = intOr(root.firstChildElement(QStringLiteral("axis")), 0, &ok);
    file.axis = ok && axis < 2 && axis >= 0 ? axis : 0;
    const int change = intOr(root.firstChildElement(QStringLiteral("changeScaleRange")), 1, &ok);
    file.changeScaleRange = change != 0;
    const int precision = intOr(root.firstChildElement(QStringLiteral("precision")), -1, &ok);
    file.precision = ok && precision < 6 && precision >= -1 ? precision : -1;
    return file;
}

FunctionFile parseFunction(const QByteArray &content)
{
    const QDomDocument document = parse(content, QStringLiteral("function"));
    const QDomElement root = document.documentElement();
    FunctionFile file;
    file.description = descriptionElement(root).text();
    file.code = root.firstChildElement(QStringLiteral("code")).text();
    return file;
}

QByteArray writeStudy(const StudyFile &file)
{
    Writer xml(QStringLiteral("study"));
    xml.text(QStringLiteral("description"), file.description);
    xml.text(QStringLiteral("code"), file.code);
    xml.text(QStringLiteral("declaration"), file.declaration);
    for (auto it = file.parameters.cbegin(); it != file.parameters.cend(); ++it)
        xml.empty(QStringLiteral("parameter"),
                  {{QStringLiteral("name"), storable(it.key())},
                   {QStringLiteral("value"), storable(it.value().value)},
                   {QStringLiteral("isFormula"),
                    it.value().isFormula ? QStringLiteral("true") : QStringLiteral("false")}});
    for (auto it = file.styles.cbegin(); it != file.styles.cend(); ++it)
        xml.empty(QStringLiteral("style"),
                  {{QStringLiteral("name"), storable(it.key())},
                   {QStringLiteral("view"), QString::number(it.value().view)},
                   {QStringLiteral("color"), it.value().color.name()},
                   {QStringLiteral("lineWidth"), QString::number(it.value().lineWidth)}});
    xml.text(QStringLiteral("axis"), QString::number(file.axis));
    xml.text(QStringLiteral("changeScaleRange"), QString::number(file.changeScaleRange ? 1 : 0));
    xml.text(QStringLiteral("precision"), QString::number(file.precision));
    return xml.finish();
}

QByteArray writeFunction(const FunctionFile &file)
{
    Writer xml(QStringLiteral("function"));
    xml.text(QStringLiteral("description"), file.description);
    xml.text(QStringLiteral("code"), file.code);
    return xml.finish();
}

QString descriptionOf(const QByteArray &content, bool *ok)
{
    QDomDocument document;
    const bool parsed = document.setContent(content);
    if (ok)
        *ok = parsed;
    if (!parsed)
        return BadFile;
    return descriptionElement(document.documentElement()).text();
}

bool isSafeName(const QString &name)
{
    if (name.isEmpty() || name.size() > 200 || name.startsWith(QLatin1Char('.'))
        || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QStringLiteral("..")) || name.trimmed() != name)
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char(':'))
            return false;
    }
    // Names the other desktop systems reserve for devices, with or without an extension.
    static const QRegularExpression reserved(
        QStringLiteral("^(con|prn|aux|nul|com[0-9]|lpt[0-9])(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return !reserved.match(name).hasMatch();
}

} // namespace ScriptFileFormat
