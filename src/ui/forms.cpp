#include "ui/forms.h"

QPointer<TDLF> DLF;
QPointer<TMainF> MainF;
QPointer<TKmszF> KmszF;
QPointer<TTxszF> TxszF;
QPointer<TZjxzF> ZjxzF;
QPointer<TLrstF> LrstF;
QPointer<TZtszF> ZtszF;
QPointer<TXxszF> XxszF;
QPointer<TMmszF> MmszF;
QPointer<TTjyhF> TjyhF;
QPointer<TXgmmF> XgmmF;
QPointer<TLxwmF> LxwmF;
QPointer<THszF> HszF;
QPointer<TZsdszF> ZsdszF;
