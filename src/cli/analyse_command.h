#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QTextStream>

// exavoro-db analyse: the score sheet of a stored paper written out, or a filled one read back and
// analysed question by question.
struct AnalyseRequest {
    qint64 paperId = -1;
    QString sheet;       // write the empty sheet here (.xlsx or .csv by the name)
    QString scores;      // read this filled sheet
    QString report;      // and write the analysis as a .docx here
    bool force = false;  // overwrite an existing sheet or report
    bool store = false;  // keep the sitting with the paper
    QString heldOn;      // the sitting's date when stored
    QString group;       // its 班级
    double passShare = 0.6;
    double excellentShare = 0.85;
};

// Returns the exit status: 0 done, 1 when the sheet has bad cells (each listed on `err`) or the work
// failed. Throws AppError for a paper that is not there or a file that cannot be read or written.
int analyseCommand(const QSqlDatabase& db, const AnalyseRequest& request, QTextStream& out, QTextStream& err);
