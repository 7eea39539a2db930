#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

// Content of the demo question bank: a few school subjects with their question types, chapters
// and questions (Simplified Chinese, answers with a short explanation).

struct DemoQuestion {
    QString type;        // one of the subject's type names
    QString chapter;     // one of the subject's chapter names
    QString difficulty;  // exactly one of "易", "较易", "中等", "较难", "难"
    QString score;       // digits only, 1 or 2 characters, e.g. "2", "10"
    QString question;    // question text; may contain '\n' for several lines (e.g. choices A-D on separate lines)
    QString answer;      // answer text with a short explanation; may contain '\n'
};

struct DemoSubject {
    QString name;              // subject name, e.g. "高等数学"
    QStringList types;         // question-type names in the order they should be created
    QStringList chapters;      // chapter names in the order they should be created
    QVector<DemoQuestion> questions;
};

// The demo bank: deterministic (same result every call).
QVector<DemoSubject> demoSubjects();
