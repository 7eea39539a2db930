#pragma once
#include <QAbstractItemDelegate>
#include <QDialog>
#include <QPointer>

class QFrame;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class ChapterNameDelegate;

// 章节设置: the chapters of the main window's current subject as a tree under the subject.
// Adding and renaming take two presses of their button: the first opens an in-place edit of a
// node, the second stores what it says.
class TZjxzF : public QDialog {
    Q_OBJECT
public:
    explicit TZjxzF(QWidget* parent = nullptr);

    void FormShow();
    void BtnZjzjClick();
    void BtnSczjClick();
    void BtnCmmClick();
    void TreeViewZjClick();
    void BtnGbClick();

    static void DelStb(const QString& kmh, const QString& zjh);
    static void DelZjb(const QString& kmh, const QString& zjh);

    // State shared by every opening of the dialog for the whole run of the program.
    struct State {
        QString subjectName;
        QString subjectCode;
        bool subjectExists = false;
        int addPresses = 0;     // odd: a new node is being edited
        int renamePresses = 0;  // odd: a node is being renamed
        QString renameCode;     // chapter code taken at the first rename press
        QString renameFrom;     // the chapter's name at the first rename press
    };
    static State& state();

    QTreeWidget* TreeViewZj;
    QFrame* Panel4;
    QPushButton* BtnZjzj;
    QPushButton* BtnSczj;
    QPushButton* BtnCmm;
    QPushButton* BtnGb;

    // The node the user has selected, or nullptr.
    QTreeWidgetItem* selectedNode() const;
    // Ends a pending in-place edit, keeping the typed text in the node.
    void endPendingEdit();

    // Closing (关闭, the close box, Escape) with a new chapter that is not stored yet asks
    // whether to store it; either way the pending addition ends with the dialog.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void setTreeEditable(bool editable);
    void editNode(QTreeWidgetItem* node);
    bool refuseMissingSubject();
    bool newChapterPending() const;
    void editorClosed(QAbstractItemDelegate::EndEditHint hint);
    void askToKeepNewChapter();
    ChapterNameDelegate* delegate_;
    QTreeWidgetItem* newNode_ = nullptr;  // the node of a first add press, until the tree is rebuilt
};
