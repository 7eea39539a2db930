// The help: the program itself carries its help page, and both help buttons (the main window's
// "帮助" and the wizard's "使用帮助") open it with its text. The page has a section per feature, each
// with a picture of the feature's window drawn by this test from the real window on the demo bank.
//
// The pictures (src/resources/help/*.png) are drawn again with
//   EXAVORO_UPDATE_HELP_PICTURES=1 QT_QPA_PLATFORM=offscreen build/tests/test_help
// which writes them into the source tree; rebuild afterwards so that the program carries them.
// Without the variable the test checks that every picture the page shows is in the program's
// resources, is a valid image, and was drawn from a window of the size and the controls the window
// has now (kept in the PNG's text chunks). A window whose layout or controls change fails here until
// its picture is drawn again. Pixels are not compared: fonts differ between machines.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImageReader>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextEdit>
#include <QToolButton>
#include <functional>

#include "windows/wizard/wizard_fixture.h"
#include "app/application.h"
#include "ui/forms.h"
#include "app/login.h"
#include "app/main_window.h"
#include "windows/bank/question_entry.h"
#include "windows/bank/recycle_bin.h"
#include "windows/analysis/score_analysis_window.h"
#include "windows/blueprint/blueprint_window.h"
#include "windows/content/content_preview.h"
#include "windows/content/formula_editor.h"
#include "data/data_module.h"
#include "data/knowledge_points.h"
#include "demo/demo.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "windows/exchange/export_window.h"
#include "windows/exchange/import_window.h"
#include "windows/library/library_window.h"
#include "library/paper_store.h"
#include "windows/output/layout_dialog.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "data/current_user.h"

// The help page and its pictures live in the core library's resources, registered on demand.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

using testing::Workspace;

namespace {

QTextBrowser* openHelpBrowser()
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String("HelpWindow") && top->isVisible()) {
            return top->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
        }
    }
    return nullptr;
}

void closeHelp()
{
    if (QTextBrowser* browser = openHelpBrowser()) browser->window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString helpPage()
{
    registerResources();
    QFile file(QStringLiteral(":/help/help.html"));
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

// Where the pictures are kept in the source tree (beside help.html).
QString pictureFolder()
{
    return QDir::cleanPath(QStringLiteral(EXCHANGE_TEST_DATA) + QStringLiteral("/../../src/resources/help"));
}

bool updatingPictures()
{
    return qEnvironmentVariable("EXAVORO_UPDATE_HELP_PICTURES") == QLatin1String("1");
}

// Pictures wider than this are scaled down; the help window is about 720 pixels wide.
constexpr int kPictureWidth = 600;

// The controls of a window, one line each (class and objectName), in the order they were made:
// every named widget and every unnamed control, but not the parts Qt builds inside a control.
QStringList controlsOf(QWidget* window)
{
    QStringList lines;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (name.startsWith(QLatin1String("qt_"))) continue;
        bool inside = false;
        for (QWidget* a = w->parentWidget(); a && a != window; a = a->parentWidget()) {
            if (qobject_cast<QComboBox*>(a) || qobject_cast<QAbstractSpinBox*>(a)) inside = true;
        }
        if (inside) continue;
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                             qobject_cast<QAbstractItemView*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                             qobject_cast<QTextEdit*>(w) || qobject_cast<QLabel*>(w) || qobject_cast<QGroupBox*>(w);
        if (name.isEmpty() && !control) continue;
        lines << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + name;
    }
    return lines;
}

QString sizeText(const QSize& size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// A small paper in the layout 导入试题 recognises; the help page shows the same text as its sample.
const char* kImportSample =
    "一、选择题（每小题3分，共6分）\n"
    "1. 方程 x²=4 的解是（  ）\n"
    "A. x=2    B. x=-2    C. x=±2    D. x=4\n"
    "2. 下列各数中，最小的数是（  ）\n"
    "A. -3    B. 0    C. 1    D. 2\n"
    "二、填空题（每小题4分，共8分）\n"
    "3. 一元二次方程 x²-5x+6=0 的两个根是______。\n"
    "4. 若 a+b=5，ab=6，则 a²+b²=______。\n"
    "参考答案\n"
    "1. C\n"
    "2. A\n"
    "3. x=2 或 x=3\n"
    "4. 13\n";

// The windows the help page shows, each opened as its menu command opens it, over the demo bank.
struct HelpPicture {
    QString file;
    std::function<QWidget*(Workspace&)> open;
};

QStringList typesOf(const QString& subject)
{
    return sql::column(DM->db(),
                       QStringLiteral("SELECT txm FROM txb WHERE kmh=(SELECT kmh FROM kmb WHERE kmm=?) ORDER BY id"),
                       {subject});
}

// Stores one paper of the demo bank's first questions of 数学 in the library, as 组卷 would.
qint64 storeSamplePaper()
{
    library::StoredPaper paper;
    paper.kmm = QStringLiteral("数学");
    paper.kmh = sql::column(DM->db(), QStringLiteral("SELECT kmh FROM kmb WHERE kmm=?"), {paper.kmm}).value(0);
    paper.title = QStringLiteral("数学单元测验");
    paper.duration = QStringLiteral("90");
    paper.layout = library::standardLayout();
    paper.createdBy = QStringLiteral("admin");
    long long total = 0;
    const QStringList codes =
        sql::column(DM->db(), QStringLiteral("SELECT txh FROM txb WHERE kmh=? ORDER BY id"), {paper.kmh});
    for (const QString& txh : codes.mid(0, 2)) {
        library::StoredSection section;
        section.txh = txh;
        section.typeName =
            sql::column(DM->db(), QStringLiteral("SELECT txm FROM txb WHERE kmh=? AND txh=?"), {paper.kmh, txh})
                .value(0);
        QSqlQuery q = sql::run(
            DM->db(), QStringLiteral("SELECT th, zjh, nd, fs, tm, da FROM stb WHERE kmh=? AND txh=? ORDER BY id"),
            {paper.kmh, txh});
        while (q.next() && section.questions.size() < 3) {
            section.questions.append({paper.kmh, txh, q.value(0).toString(), q.value(1).toString(),
                                      q.value(2).toString(), q.value(3).toString(), q.value(4).toString(),
                                      q.value(5).toString()});
            section.points += q.value(3).toLongLong();
        }
        section.count = int(section.questions.size());
        total += section.points;
        paper.sections.append(section);
    }
    paper.total = QString::number(total);
    return library::storePaper(DM->db(), paper);
}

template <typename Window>
Window* shown(Window* window)
{
    window->show();
    QApplication::setActiveWindow(window);
    QCoreApplication::processEvents();
    return window;
}

QVector<HelpPicture> helpPictures()
{
    return {
        {QStringLiteral("entry.png"),
         [](Workspace&) -> QWidget* {
             MainF->fillSubjectBox();
             MainF->ComboBoxKmm->setEditText(QStringLiteral("数学"));
             auto* entry = shown(new TLrstF(MainF));
             entry->MemoTm->setPlainText(
                 QStringLiteral("解方程 \\(x^2-5x+6=0\\)，并写出求根公式 \\[x=\\frac{-b\\pm\\sqrt{b^2-4ac}}{2a}\\]"));
             entry->PreviewTm->refreshNow();
             return entry;
         }},
        {QStringLiteral("formula.png"),
         [](Workspace&) -> QWidget* {
             auto* editor = new content::FormulaEditor(MainF);
             editor->setFormula(QStringLiteral("x=\\frac{-b\\pm\\sqrt{b^2-4ac}}{2a}"), true);
             editor->refreshPreview();
             return shown(editor);
         }},
        {QStringLiteral("import.png"),
         [](Workspace& ws) -> QWidget* {
             auto* window = shown(new exchange::ImportWindow(MainF));
             // The sample is read through pandoc; without it the window is shown empty (the same controls).
             if (!QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty()) {
                 const QString path = ws.root() + QStringLiteral("/试题样例.txt");
                 QFile file(path);
                 if (file.open(QIODevice::WriteOnly)) file.write(kImportSample);
                 file.close();
                 window->EditFile->setText(path);
                 window->readFile();
             }
             return window;
         }},
        {QStringLiteral("export.png"), [](Workspace&) -> QWidget* { return shown(new exchange::ExportWindow(MainF)); }},
        {QStringLiteral("layout.png"),
         [](Workspace&) -> QWidget* {
             auto* dialog = new TBsszF(QStringLiteral("admin"), typesOf(QStringLiteral("数学")), MainF);
             dialog->RadioKs->setChecked(true);
             dialog->RadioMfx->setChecked(true);
             return shown(dialog);
         }},
        {QStringLiteral("wizard.png"),
         [](Workspace&) -> QWidget* {
             // A few knowledge points of 数学, listed beside the candidates ("全部知识点" ticked).
             {
                 QSqlDatabase db = DM->db();
                 const QString kmh =
                     sql::column(db, QStringLiteral("SELECT kmh FROM kmb WHERE kmm=?"), {QStringLiteral("数学")})
                         .value(0);
                 const qint64 algebra = knowledge::add(db, kmh, QStringLiteral("代数"), 0);
                 knowledge::add(db, kmh, QStringLiteral("方程"), algebra);
                 knowledge::add(db, kmh, QStringLiteral("函数"), algebra);
                 knowledge::add(db, kmh, QStringLiteral("几何"), 0);
             }
             TXxszF* step2 = wizardtest::openStepTwo();
             // Picking by hand among the chapters' candidates, narrowed by a search.
             for (int i = 0; i < step2->CheckListBoxZj->count(); ++i)
                 step2->CheckListBoxZj->item(i)->setCheckState(Qt::Checked);
             step2->RadioGroup1Manual->click();
             step2->EditSsHx->setText(QStringLiteral("方程"));
             step2->EditSsHxSearch();
             step2->PreviewTm->refreshNow();
             return step2;
         }},
        {QStringLiteral("blueprint.png"), [](Workspace&) -> QWidget* { return shown(new BlueprintWindow(MainF)); }},
        {QStringLiteral("library.png"),
         [](Workspace&) -> QWidget* {
             storeSamplePaper();
             return shown(new TSjkF(MainF));
         }},
        {QStringLiteral("bpaper.png"),
         [](Workspace&) -> QWidget* {
             const qint64 id = storeSamplePaper();
             return shown(new TBjF(library::loadPaper(DM->db(), id), MainF));
         }},
        {QStringLiteral("scores.png"),
         [](Workspace&) -> QWidget* {
             // The demo's A paper with its sitting of 48 students, the scatter of P and D in view.
             auto* window = shown(new TCjfxF(MainF));
             window->selectPaper(sql::scalar(DM->db(), QStringLiteral("SELECT MIN(paper_id) FROM sittings")).toLongLong());
             window->TabsTb->setCurrentIndex(1);
             return window;
         }},
        {QStringLiteral("recycle.png"),
         [](Workspace& ws) -> QWidget* {
             // One chapter deleted as 章节设置 deletes it, so that the bin shows a line.
             const QString kmh = ws.scalar(QStringLiteral("SELECT kmh FROM kmb WHERE kmm=?"), {QStringLiteral("数学")});
             const QString zjh = ws.scalar(QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? ORDER BY id DESC"), {kmh});
             DM->db().transaction();
             const qint64 item = recycle::keepChapter(DM->db(), kmh, zjh, QStringLiteral("admin"));
             recycle::removeKept(DM->db(), item);
             DM->db().commit();
             ws.refreshDatasets();
             return shown(new THszF(MainF));
         }},
        {QStringLiteral("login.png"), [](Workspace&) -> QWidget* { return shown(new TDLF(nullptr, false)); }},
    };
}

// A workspace whose bank is the demo bank, as `exavoro-db demo` makes it.
std::unique_ptr<Workspace> demoWorkspace()
{
    auto ws = std::make_unique<Workspace>(QVector<Workspace::User>{}, false);
    const QString path = ws->databasePath();
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(path + suffix);
    demo::createDemoDatabase(path);
    ws->connect();
    ws->refreshDatasets();
    current_user::name() = QStringLiteral("admin");
    return ws;
}

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        app::setup(*qApp);
        registerResources();
    }
    void cleanup() { testing::closeAllWindows(); }
    void programCarriesItsHelpPage();
    void helpButtonsShowTheHelpText();
    void helpPageHasASectionPerFeature();
    void picturesShowTheWindowsAsTheyAreNow();
};

void HelpTest::programCarriesItsHelpPage()
{
    // The installed program, not this test: its own start-up must make the help page available.
    QTemporaryDir folder;
    QProcess program;
    program.setWorkingDirectory(folder.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(EXAVORO_PROGRAM), {QStringLiteral("--self-check")});
    QVERIFY2(program.waitForFinished(60000), "the program did not finish its check");
    const QString out = QString::fromUtf8(program.readAllStandardOutput()).trimmed();
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0,
             qPrintable(out + QString::fromUtf8(program.readAllStandardError())));

    const QStringList fields = out.split(QStringLiteral(" | "));
    QCOMPARE(fields.size(), 3);
    QCOMPARE(fields.at(0), QStringLiteral("help: Exavoro 帮助"));
    QVERIFY2(fields.at(1).toInt() > 1000, qPrintable(out));
    QCOMPARE(fields.at(2), QStringLiteral("题库管理、Exavoro 使用帮助"));
    // The check opens no database and leaves nothing in the working folder.
    QVERIFY(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

void HelpTest::helpButtonsShowTheHelpText()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    ws.refreshDatasets();

    MainF->show();
    auto* help = testing::child<QToolButton>(MainF, QStringLiteral("SBtnBz"));
    QVERIFY(help);
    help->click();
    QTextBrowser* browser = openHelpBrowser();
    QVERIFY2(browser, "帮助 opened no help window");
    QVERIFY(browser->toPlainText().contains(QStringLiteral("组卷向导")));
    closeHelp();

    TXxszF* step2 = wizardtest::openStepTwo();
    auto* wizardHelp = testing::child<QPushButton>(step2, QStringLiteral("BtnSyb"));
    QVERIFY(wizardHelp);
    QCOMPARE(wizardHelp->text(), QStringLiteral("使用帮助"));
    wizardHelp->click();
    browser = openHelpBrowser();
    QVERIFY2(browser, "使用帮助 opened no help window");
    QCOMPARE(browser->documentTitle(), QStringLiteral("Exavoro 帮助"));
    QVERIFY(browser->toPlainText().contains(QStringLiteral("组卷向导")));
}

void HelpTest::helpPageHasASectionPerFeature()
{
    Workspace ws;
    MainF->show();
    auto* help = testing::child<QToolButton>(MainF, QStringLiteral("SBtnBz"));
    QVERIFY(help);
    help->click();
    QTextBrowser* browser = openHelpBrowser();
    QVERIFY2(browser, "帮助 opened no help window");
    const QString page = helpPage();
    QVERIFY(!page.isEmpty());

    // Each feature has a heading of its own, listed in the contents with a link to it.
    const QStringList features = {
        QStringLiteral("公式、图片与文字标记"),
        QStringLiteral("导入试题"),
        QStringLiteral("导出试题"),
        QStringLiteral("版式"),
        QStringLiteral("试卷库"),
        QStringLiteral("生成B卷"),
        QStringLiteral("成绩分析"),
        QStringLiteral("排除最近用过的题目"),
        QStringLiteral("按细目表组卷"),
        QStringLiteral("回收站"),
        QStringLiteral("备份与恢复题库"),
        QStringLiteral("共享服务器题库"),
    };
    const QRegularExpression heading(QStringLiteral("<h3 id=\"([a-z0-9]+)\">\\d+\\. ([^<]+)</h3>"));
    QHash<QString, QString> anchors;  // heading text -> anchor
    for (auto it = heading.globalMatch(page); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        anchors.insert(m.captured(2).trimmed(), m.captured(1));
    }
    for (const QString& feature : features) {
        QVERIFY2(anchors.contains(feature), qPrintable(QStringLiteral("no section “%1” in the help").arg(feature)));
        QVERIFY2(page.contains(QStringLiteral("<a href=\"#%1\">%2</a>").arg(anchors.value(feature), feature)),
                 qPrintable(QStringLiteral("the contents do not lead to “%1”").arg(feature)));
    }
    // The sections are numbered 1, 2, 3 ... in page order, as the contents list them.
    int expected = 1;
    for (auto it = QRegularExpression(QStringLiteral("<h3 id=\"[a-z0-9]+\">(\\d+)\\. ")).globalMatch(page);
         it.hasNext(); ++expected) {
        QCOMPARE(it.next().captured(1).toInt(), expected);
    }
    QVERIFY(expected > features.size());

    // Backups are made by the program now, not by copying folders by hand.
    const QString text = browser->toPlainText();
    QVERIFY(!text.contains(QStringLiteral("备份时复制这两个文件夹即可")));
    QVERIFY(text.contains(QStringLiteral("备份题库")));
    QVERIFY(text.contains(QStringLiteral("exavoro-db backup")));

    // Every picture the page names stands in the help window's text, and is one the test draws.
    QStringList inWindow;
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat()) inWindow << format.toImageFormat().name();
        }
    }
    QStringList drawn;
    for (const HelpPicture& picture : helpPictures()) drawn << QStringLiteral(":/help/") + picture.file;
    inWindow.sort();
    drawn.sort();
    QCOMPARE(inWindow, drawn);
}

void HelpTest::picturesShowTheWindowsAsTheyAreNow()
{
    const QString page = helpPage();
    QStringList shownOnPage;
    for (auto it = QRegularExpression(QStringLiteral("<img src=\":/help/([^\"]+)\"")).globalMatch(page);
         it.hasNext();) {
        shownOnPage << it.next().captured(1);
    }
    const bool update = updatingPictures();
    QStringList drawn;
    for (const HelpPicture& picture : helpPictures()) {
        drawn << picture.file;
        // Pictures are drawn before the page names them; the check below then holds them to it.
        QVERIFY2(update || shownOnPage.contains(picture.file),
                 qPrintable(QStringLiteral("help.html does not show %1").arg(picture.file)));

        std::unique_ptr<Workspace> ws = demoWorkspace();
        testing::BoxAnswerer boxes;
        QWidget* window = picture.open(*ws);
        QVERIFY(window);
        QCoreApplication::processEvents();
        // A picture of a window that greeted the user with a message would show the wrong thing.
        QVERIFY2(boxes.texts.isEmpty(),
                 qPrintable(picture.file + QStringLiteral(": ") + boxes.texts.join(QStringLiteral(" / "))));
        const QString size = sizeText(window->size());
        const QString controls = controlsOf(window).join(QLatin1Char('\n'));
        const QString windowName = window->objectName();

        if (update) {
            QImage image = window->grab().toImage();
            if (image.width() > kPictureWidth) {
                image = image.scaledToWidth(kPictureWidth, Qt::SmoothTransformation);
            }
            // A palette of 256 colours keeps the files small; the text stays sharp enough to read.
            image = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
            image.setText(QStringLiteral("Window"), windowName);
            image.setText(QStringLiteral("Size"), size);
            image.setText(QStringLiteral("Controls"), controls);
            const QString path = pictureFolder() + QLatin1Char('/') + picture.file;
            QDir().mkpath(pictureFolder());
            QImageWriter writer(path, "png");
            writer.setQuality(0);  // for PNG: the strongest compression
            QVERIFY2(writer.write(image), qPrintable(path + QStringLiteral(": ") + writer.errorString()));
        } else {
            QImageReader reader(QStringLiteral(":/help/") + picture.file);
            const QImage stored = reader.read();
            QVERIFY2(!stored.isNull(), qPrintable(QStringLiteral("%1 is missing from the program or no image: %2")
                                                      .arg(picture.file, reader.errorString())));
            QVERIFY(stored.width() <= kPictureWidth);
            const QString redraw = QStringLiteral(" (draw the pictures again with EXAVORO_UPDATE_HELP_PICTURES=1)");
            QVERIFY2(stored.text(QStringLiteral("Window")) == windowName,
                     qPrintable(picture.file + QStringLiteral(" shows another window") + redraw));
            QVERIFY2(stored.text(QStringLiteral("Size")) == size,
                     qPrintable(QStringLiteral("%1 was drawn at %2, the window is %3 now")
                                    .arg(picture.file, stored.text(QStringLiteral("Size")), size) +
                                redraw));
            QVERIFY2(stored.text(QStringLiteral("Controls")) == controls,
                     qPrintable(picture.file + QStringLiteral(": the window's controls changed") + redraw));
        }
        testing::closeAllWindows();
    }
    // Every picture the page shows is one this test draws.
    for (const QString& file : shownOnPage) {
        QVERIFY2(drawn.contains(file), qPrintable(QStringLiteral("no window is drawn for %1").arg(file)));
    }
}

QTEST_MAIN(HelpTest)
#include "test_help.moc"
