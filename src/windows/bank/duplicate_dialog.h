#pragma once
#include <QDialog>
#include <QList>

#include "data/duplicates.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace content {
class ContentPreview;
}

// Asked before 录入试题 stores a question whose text resembles questions of the subject already in
// the bank: lists them ("疑似重复：第012题（相似度 93%）") and lets the user store it all the same
// (仍然存入, accepted), keep it out (不存入, rejected: nothing stored, the editor keeps its text) or
// look at a listed question's text and answer first (查看, shown beside the list; the choice stays).
class TCfF : public QDialog {
    Q_OBJECT
public:
    // `kmh` and `txh`: the subject and type the new question goes to (a match of another type
    // names its type).
    TCfF(const QList<duplicates::Match>& matches, const QString& kmh, const QString& txh, QWidget* parent = nullptr);

    // The line listing one match.
    static QString lineOf(const duplicates::Match& match, const QString& typeName);

    QListWidget* ListYs = nullptr;   // the similar questions
    QPushButton* BtnRrcr = nullptr;  // 仍然存入
    QPushButton* BtnBcr = nullptr;   // 不存入
    QPushButton* BtnCk = nullptr;    // 查看
    content::ContentPreview* PreviewTm = nullptr;
    content::ContentPreview* PreviewDa = nullptr;

    void BtnCkClick();

private:
    QList<duplicates::Match> matches_;
};
