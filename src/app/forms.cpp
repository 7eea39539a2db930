#include "app/forms.h"

#include "app/contact.h"
#include "app/login.h"
#include "app/main_window.h"
#include "bank/chapter_settings.h"
#include "bank/question_entry.h"
#include "bank/question_type_settings.h"
#include "bank/recycle_bin.h"
#include "bank/subject_settings.h"
#include "data/data_module.h"
#include "users/add_user.h"
#include "users/change_password.h"
#include "users/user_admin.h"
#include "wizard/detail_settings.h"
#include "wizard/overall_settings.h"

QPointer<TDLF> DLF;
QPointer<TMainF> MainF;
TDM* DM = nullptr;
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
