#pragma once
#include <QDialog>

#include "output/print_layout.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class LayoutPreview;

// 版式: the layout the next paper is written in, remembered per user. `typeNames` are the question
// types offered for blank answer space (lines after each question).
class TBsszF : public QDialog {
    Q_OBJECT

public:
    TBsszF(const QString& user, const QStringList& typeNames, QWidget* parent = nullptr);
    PrintLayout layout() const;

    QRadioButton* RadioBz;     // 标准
    QRadioButton* RadioKs;     // 考试用卷
    QGroupBox* GroupKs;        // the exam layout's choices
    QRadioButton* RadioJt;     // 卷头填写栏
    QRadioButton* RadioMfx;    // 密封线
    QComboBox* ComboZz;        // paper size
    QComboBox* ComboDa;        // where the answer key goes
    QPlainTextEdit* MemoZysx;  // 注意事项
    QTableWidget* TableDtkj;   // answer lines per question type
    QCheckBox* CheckThlx;      // 题号连续编排
    QCheckBox* CheckDfpj;      // 每大题前加得分评卷人栏
    QPushButton* BtnQd;
    QPushButton* BtnQx;
    LayoutPreview* Preview;  // the first page of the layout chosen, redrawn as the choices change

private:
    QWidget* createPreview();
    void BtnQdClick();
    QString user_;
    PrintLayout initial_;
};
