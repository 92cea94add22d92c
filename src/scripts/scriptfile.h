#pragma once

#include <QByteArray>
#include <QColor>
#include <QMap>
#include <QString>

// A parameter of an indicator: its value as written, and whether it is a formula evaluated by
// the script engine rather than a plain value.
struct ScriptParameter
{
    QString value;
    bool isFormula = false;
    bool operator==(const ScriptParameter &other) const
    {
        return value == other.value && isFormula == other.isFormula;
    }
};

// How one plot of an indicator is drawn: 0 a line, 1 a histogram, 2 points.
struct PlotStyle
{
    int view = 0;
    QColor color;
    int lineWidth = 1;
    bool operator==(const PlotStyle &other) const
    {
        return view == other.view && color == other.color && lineWidth == other.lineWidth;
    }
};

// The content of an indicator file.
struct StudyFile
{
    QString description;
    QString code;
    QString declaration;
    QMap<QString, ScriptParameter> parameters; // by name
    QMap<QString, PlotStyle> styles;           // by name
    int axis = 0;                  // 1 the base series' own sub-chart and scale, 0 one of its own
    bool changeScaleRange = false;
    int precision = 0;             // -1 as the series, else 0 to 5 decimals
    bool operator==(const StudyFile &other) const
    {
        return description == other.description && code == other.code
               && declaration == other.declaration && parameters == other.parameters
               && styles == other.styles && axis == other.axis
               && changeScaleRange == other.changeScaleRange && precision == other.precision;
    }
};

// The content of a function file.
struct FunctionFile
{
    QString description;
    QString code;
    bool operator==(const FunctionFile &other) const
    {
        return description == other.description && code == other.code;
    }
};

// The XML forms of the two files ("study" and "function" roots, indentation 1, UTF-8).
namespace ScriptFileFormat {

// "Некорректный файл", "Некорректный файл: view", "Некорректный файл: lineWidth".
StudyFile parseStudy(const QByteArray &content);
FunctionFile parseFunction(const QByteArray &content);

// Throws "Невозможно записать файл: …" for a text the file could not give back as it was
// (control characters, which XML cannot hold).
QByteArray writeStudy(const StudyFile &file);
QByteArray writeFunction(const FunctionFile &file);

// The description element of a file, or its error text; for lists that show many files.
QString descriptionOf(const QByteArray &content, bool *ok = nullptr);

// Whether a name may become a file name: not empty, no path separators, no "..", no leading
// dot, no control characters, no reserved device names.
bool isSafeName(const QString &name);

} // namespace ScriptFileFormat
