#pragma once
#include <functional>
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// 知识点设置: the knowledge points of the main window's current subject as a tree, each with the
// number of questions linked to it. Points are added at the level of the selected one or below it,
// renamed, moved under another point (or to the top) and deleted with everything below them; the
// questions themselves always stay.
class TZsdszF : public QDialog {
    Q_OBJECT
public:
    explicit TZsdszF(QWidget* parent = nullptr);

    void FormShow();
    void BtnZjClick();    // 增加: beside the selected point (at the top when none is selected)
    void BtnZjxjClick();  // 增加下级: under the selected point
    void BtnGmClick();    // 改名
    void BtnYdClick();    // 移动
    void BtnScClick();    // 删除
    void BtnGbClick();

    QTreeWidget* TreeZsd;
    QFrame* Panel1;
    QLabel* LabelTs;  // what the last action did
    QPushButton* BtnZj;
    QPushButton* BtnZjxj;
    QPushButton* BtnGm;
    QPushButton* BtnYd;
    QPushButton* BtnSc;
    QPushButton* BtnGb;

    // The id of the selected point, 0 when none is selected.
    qint64 selectedPoint() const;
    // Selects the point's node (and opens its parents); false when the tree does not show it.
    bool selectPoint(qint64 id);

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool refuseMissingSubject();
    bool askName(const QString& title, const QString& label, QString* name);
    bool changed(const std::function<void()>& change);
    void addUnder(qint64 parent);
    QTreeWidgetItem* nodeOf(qint64 id) const;
    QString subjectCode_;
    QString subjectName_;
};
