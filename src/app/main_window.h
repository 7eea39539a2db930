#pragma once
#include <QMainWindow>

class QAction;
class QComboBox;
class QEventLoop;
class QLabel;
class QMenu;
class QTimer;
class QToolButton;
class QWidget;

// The main window "题库管理、Exavoro": menu, toolbar, background and subject panels, status bar.
class TMainF : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainF(QWidget* parent = nullptr);

    // Enables the functions of a permission level (0 disables every restricted one).
    void applyPermissions(int level);
    // Shows the window maximised and modally; returns when the program terminates.
    void showModal();
    // Tests set this to false so that showModal() only shows the window.
    static bool runModalLoop;

    // Handlers shared by menu items and toolbar buttons.
    void ZXClick();
    void TCClick();
    void KMSZClick();
    void XZKMClick();
    void TXSZClick();
    void ZJXZClick();
    void ZSDSZClick();  // 知识点设置
    void LRSTClick();
    void HSZClick();
    void DRSTClick();  // 导入试题
    void DCSTClick();  // 导出试题
    void ZjXDClick();
    void XmbZjClick();  // 按细目表组卷
    void SJKClick();
    void CJFXClick();  // 成绩分析
    void MMSZClick();
    void NRClick();
    void GYClick();
    void LxwmClick();
    void ComboBoxKmmChange(bool picked);
    void BFTKClick();  // 备份题库…
    void HFTKClick();  // 恢复题库…
    // Opens a login window over this one (as after 注销); returns when it closes.
    void relogin();
    void Timer1Timer();
    // Fills the subject box from kmb and makes the first subject current.
    void fillSubjectBox();

    QMenu* WJ;
    QMenu* TKGL;
    QMenu* SJGL;
    QMenu* YHGL;
    QMenu* BZ;
    QAction *BFTK, *HFTK, *ZX, *TC, *KMSZ, *XZKM, *TXSZ, *ZJXZ, *LRST, *HSZ, *ZjXD, *SJK, *MMSZ, *NR, *GY, *Lxwm;
    QAction* XmbZj;  // 按细目表组卷
    QAction* ZSDSZ;  // 知识点设置
    QAction* DRST;   // 导入试题
    QAction* DCST;   // 导出试题
    QAction* CJFX;   // 成绩分析
    QToolButton *SBtnZX, *SBtnTC, *SBtnKmsz, *SBtnKmxz, *SBtnTxsz, *SBtnZjsz, *SBtnLrst, *SBtnZjxd, *SBtnYhgl,
        *SBtnBz, *SBtnGy, *SBtnLxwm;
    QWidget* Panel1;  // subject panel
    QWidget* Panel2;  // background panel
    QLabel* Image1;
    QComboBox* ComboBoxKmm;
    QLabel* LabelKmm;
    QLabel* StatusPanels[5];
    QTimer* Timer1;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void buildMenu();
    void buildToolBar();
    void buildPanels();
    void buildStatusBar();
    template <typename Dialog, typename Pointer>
    void openDialog(Pointer& global);
};
