#include "ui/paper_output.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>

#include "data/errors.h"
#include "output/paper_document.h"
#include "ui/message_box.h"
#include "ui/platform.h"

formulas::Conversion convertFormulasShowingProgress(const QStringList& missing)
{
    if (missing.isEmpty()) return {};
    auto* gui = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!gui || QThread::currentThread() != gui->thread()) return formulas::convertWithPandoc(missing);

    formulas::Control control;
    std::atomic_int done{0};
    control.progress = [&done](int count, int) { done = count; };
    formulas::Conversion result;
    QString failure;
    bool failed = false;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            result = formulas::convertWithPandoc(missing, &control);
        } catch (const AppError& e) {
            failure = e.text();
            failed = true;
        } catch (const std::exception&) {
            failure = QStringLiteral("转换公式时出错，试卷没有生成。");
            failed = true;
        }
    }));
    QProgressDialog progress(QStringLiteral("正在转换公式（共 %1 个）……").arg(missing.size()), QStringLiteral("取消"),
                             0, int(missing.size()), QApplication::activeWindow());
    progress.setObjectName(QStringLiteral("FormulaProgress"));
    progress.setWindowTitle(QStringLiteral("生成试卷"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);
    const QMetaObject::Connection cancel =
        QObject::connect(&progress, &QProgressDialog::canceled, [&control] { formulas::stop(control); });
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &progress, [&] {
        if (!progress.wasCanceled()) progress.setValue(qMin(done.load(), progress.maximum() - 1));
    });
    tick.start(100);
    worker->start();
    loop.exec();
    worker->wait();
    tick.stop();
    // Closing the window counts as 取消 to the dialog: the work is over by now.
    QObject::disconnect(cancel);
    progress.close();
    if (control.cancelled || result.cancelled) throw AppError(QStringLiteral("已取消转换公式，试卷没有生成。"));
    if (failed) throw AppError(failure);
    return result;
}

void announceDocuments(const QStringList& paths, QWidget* parent)
{
    if (paths.isEmpty()) return;
    if (!platform::openDocument(paths.first())) {
        QString text = QStringLiteral("试卷已保存到：") + QDir::toNativeSeparators(paths.first());
        if (paths.size() > 1) text += QStringLiteral("\n参考答案已保存到：") + QDir::toNativeSeparators(paths.at(1));
        MsgBox::show(text, parent);
    } else if (paths.size() > 1) {
        MsgBox::show(QStringLiteral("参考答案已另存为：") + QDir::toNativeSeparators(paths.at(1)), parent);
    }
}

bool printPaper(const QString& kmh, const QStringList& typeNames, const QString& title, const QString& duration,
                const QString& total, const PrintLayout& layout, const QVector<QStringList>& blueprint)
{
    try {
        PaperContent paper = collectPaper(kmh, typeNames, title, duration, total);
        paper.blueprint = blueprint;
        const QStringList paths = writePaperDocuments(paper, QDir::current().filePath(QStringLiteral("Papers")), layout,
                                                      convertFormulasShowingProgress);
        announceDocuments(paths);
        return true;
    } catch (const AppError& e) {
        MsgBox::show(e.text());
        return false;
    }
}
