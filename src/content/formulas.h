#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

class QSqlDatabase;

// Formulas as Word equations: LaTeX converted to Office Math (OMML) by pandoc, each converted
// formula kept in the table formula_omml so that it never needs pandoc again.
//
// Formulas are handed to pandoc as Math elements of its document tree (JSON), each in a paragraph
// of its own, rather than as LaTeX text: no formula can end early, reach into another or make
// pandoc's LaTeX reader open a file, so each result comes from its own source alone, and the cache
// stores it under that exact source. The formulas a paper lacks go in one pandoc run; when that run
// fails or takes too long, each formula gets a run of its own, which tells which one it was.
namespace formulas {

// The XML namespace of Office Math.
inline const char* const kMathNamespace = "http://schemas.openxmlformats.org/officeDocument/2006/math";

// How long pandoc may take for one formula, in milliseconds. A formula that takes longer is
// stopped and remembered as too slow, so that the next paper says so at once.
constexpr int kFormulaTimeoutMs = 10000;

// The result of converting a list of formulas: the OMML of each formula that converted (one
// m:oMath element with its namespaces declared, keyed by the LaTeX source), the sources that
// pandoc could not convert and those it did not convert within kFormulaTimeoutMs.
struct Conversion {
    QHash<QString, QString> omml;
    QStringList failed;
    QStringList timedOut;
    bool cancelled = false;  // stopped by the caller before every formula was converted
};

// How a conversion running on another thread is followed and stopped.
struct Control {
    // Called on the converting thread after each formula.
    std::function<void(int done, int total)> progress;
    // Set by the caller to stop: no further pandoc run starts.
    std::atomic_bool cancelled{false};
    // The converting thread, as the system knows it (set by convertWithPandoc), so that stop()
    // can end the pandoc it is waiting for.
    std::atomic<long long> worker{0};
};

// Asks a conversion to stop and ends the pandoc run it is waiting for. Safe from any thread.
void stop(Control& control);

// Converts each LaTeX source to OMML: all in one pandoc run, or when that fails each in a run of its
// own (kFormulaTimeoutMs each). Touches no database, so it may run on any thread. Throws AppError with a Chinese message when pandoc is
// missing or cannot be run at all.
Conversion convertWithPandoc(const QStringList& latex, Control* control = nullptr);

// What the cache knows of these formulas: the converted ones and those remembered as too slow in
// `known`, the sources it knows nothing of in `missing` (each once).
struct Lookup {
    Conversion known;
    QStringList missing;
};
Lookup lookup(const QSqlDatabase& db, const QStringList& latex);

// Stores what a conversion found: each formula's OMML under its own source, and the formulas that
// timed out as remembered failures. Formulas pandoc simply could not read are not stored: they
// fail again within moments.
void remember(const QSqlDatabase& db, const Conversion& fresh);

// The OMML of every given formula: read from the cache, the rest converted (on this thread) and
// stored in the cache. pandoc is not started when every formula is cached.
Conversion toOmml(const QSqlDatabase& db, const QStringList& latex);

}  // namespace formulas
