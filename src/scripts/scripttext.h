#pragma once

#include "scriptfile.h"

#include <QMap>
#include <QString>

// The two texts an indicator's context evaluates, assembled from its parameters, functions,
// preparation text and per-bar code. Parameter names become script text: only plain
// identifiers are taken, anything else is refused with its name.
namespace ScriptText {

// A name a script can assign to: a letter, "_" or "$", then letters, digits, "_" or "$", and
// not a word of the language.
bool isIdentifier(const QString &name);

// "name=value; " and a line end, so that a value ending in a comment ends there. Throws
// "Недопустимое имя параметра: …" for a name that is not an identifier.
QString fragment(const QString &name, const QString &value);

// Every formula parameter's fragment (a formula without text is left out), then the code.
QString barScript(const QMap<QString, ScriptParameter> &parameters, const QString &code);

// Every plain parameter with a value, then every function's text followed by "; ", then the
// preparation text.
QString preparation(const QMap<QString, ScriptParameter> &parameters,
                    const QMap<QString, QString> &functions, const QString &declaration);

} // namespace ScriptText
