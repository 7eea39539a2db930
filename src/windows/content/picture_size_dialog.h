#pragma once
#include <QDialog>

#include "data/picture_refs.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace content {

// Asks how a picture in a question text is shown: its width (empty: the size the print layout
// gives it; otherwise in centimetres or in percent of the text column's width) and its place (in
// line with the text or below it, or floating at the right of the text). 确定 refuses a width that
// cannot be printed with a Chinese message and keeps the dialog open.
class PictureSizeDialog : public QDialog {
    Q_OBJECT
public:
    explicit PictureSizeDialog(QWidget* parent = nullptr);

    void setPlacement(const picture_refs::Placement& placement);
    // The placement the controls show; the natural placement while the width cannot be read.
    picture_refs::Placement placement() const;
    // Why the width typed cannot be used, or empty.
    QString refusal() const;

    void accept() override;

    QLineEdit* EditTpKd;   // the width, a number
    QComboBox* ComboTpDw;  // its unit: "厘米" or "% 行宽"
    QComboBox* ComboTpWz;  // the place: "嵌入文字中/下方" or "文字右侧"
    QPushButton* BtnOk;
    QPushButton* BtnCancel;

private:
    QString placementText() const;
};

}  // namespace content
