#pragma once

#include <QString>
#include <QStringList>

// How a context runs its per-bar text over a range of bars, chosen once per text. Each way
// gives what evaluating the text once per bar as a script of its own gives: global variables
// keep their values from bar to bar and from pass to pass.
//
// - PerBar: the text is evaluated once per bar. Always right, and slow: the engine parses and
//   compiles the text on every call.
// - Loop: one script per pass runs the text once per bar inside a loop, so the text is parsed
//   once per pass; its variables stay global. Taken for any text that is a script of its own
//   (no top-level return or break), declares no function at its top level (a loop body would
//   keep it local) and has no "use strict" (a loop body has no directive prologue).
// - Function: a function compiled once runs the loop, and the text's own variables live in
//   it as locals: copied in from the global object when a pass starts and back when it ends.
//   Taken only when nothing else can see them during a pass: the text names none of the words
//   that reach the global object or a function's scope (this, eval, with, globalThis,
//   Function, arguments, constructor, Reflect, the __proto__ family), makes no function of
//   its own (one made in a pass would keep that pass's copies of the variables), and neither
//   the preparation text nor any function file names one of its variables or those words.
struct ScriptPlan
{
    enum Kind { PerBar, Loop, Function };

    Kind kind = PerBar;
    QStringList locals; // Function: the per-bar text's own variables
    QString reason;     // why the faster ways were not taken, for the log and tests

    // otherTexts: the preparation text and every function's text.
    static ScriptPlan analyse(const QString &barScript, const QString &otherTexts);

    // The pass script of the loop: it takes its state from the global "__ta_state" (and
    // removes it at once), so the text sees only the usual globals. fields are the globals
    // set before every bar from the state's "f" list, in order.
    static QString loopText(const QString &barScript, const QStringList &fields);
    // The driver function of the Function way: called with the state and the global object.
    // It returns the state when every bar ran.
    static QString driverText(const QString &barScript, const QStringList &locals,
                              const QStringList &fields);
};
