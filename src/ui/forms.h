#pragma once
#include <QPointer>

class TDLF;
class TMainF;
class TKmszF;
class TTxszF;
class TZjxzF;
class TLrstF;
class TZtszF;
class TXxszF;
class TMmszF;
class TTjyhF;
class TXgmmF;
class TLxwmF;
class THszF;
class TZsdszF;

// The program-wide form objects. Each dialog is remembered here while it is open, so that other
// forms can read its controls; the pointers clear themselves when a form is destroyed.
extern QPointer<TDLF> DLF;      // the current login dialog
extern QPointer<TMainF> MainF;  // the current main window (the newest one created by a login)
extern QPointer<TKmszF> KmszF;
extern QPointer<TTxszF> TxszF;
extern QPointer<TZjxzF> ZjxzF;
extern QPointer<TLrstF> LrstF;
extern QPointer<TZtszF> ZtszF;
extern QPointer<TXxszF> XxszF;
extern QPointer<TMmszF> MmszF;
extern QPointer<TTjyhF> TjyhF;
extern QPointer<TXgmmF> XgmmF;
extern QPointer<TLxwmF> LxwmF;
extern QPointer<THszF> HszF;
extern QPointer<TZsdszF> ZsdszF;  // 知识点设置
