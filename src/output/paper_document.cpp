// Temporary scaffolding until the document writer lands: it refuses to write.
#include "output/paper_document.h"

#include "app/message_box.h"

QString NumConvert(int) { return QString(); }

PaperContent collectPaper(const QString&, const QStringList&, const QString&, const QString&, const QString&)
{
    return {};
}

QString writePaperDocument(const PaperContent&, const QString&) { return QString(); }

bool printPaper(const QString&, const QStringList&, const QString&, const QString&, const QString&)
{
    MsgBox::show(QStringLiteral("文档输出尚未完成。"));
    return false;
}
