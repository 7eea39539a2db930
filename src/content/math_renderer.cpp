#include "content/math_renderer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <cmath>

namespace content {

namespace {

bool holdsMathJax(const QString& folder)
{
    return !folder.isEmpty() && QFileInfo::exists(folder + QStringLiteral("/render.js")) &&
           QFileInfo::exists(folder + QStringLiteral("/node_modules/mathjax-full/package.json"));
}

// The formula's size from the root element: width, height and vertical-align, all in ex.
struct SvgMetrics {
    qreal width = 0;
    qreal height = 0;
    qreal depth = 0;  // below the baseline
};

bool readMetrics(const QByteArray& svg, SvgMetrics* metrics)
{
    const QString head = QString::fromUtf8(svg.left(svg.indexOf('>') + 1));
    static const QRegularExpression width(QStringLiteral("\\bwidth=\"([0-9.]+)ex\""));
    static const QRegularExpression height(QStringLiteral("\\bheight=\"([0-9.]+)ex\""));
    static const QRegularExpression align(QStringLiteral("vertical-align:\\s*(-?[0-9.]+)ex"));
    const auto w = width.match(head);
    const auto h = height.match(head);
    if (!w.hasMatch() || !h.hasMatch()) return false;
    metrics->width = w.captured(1).toDouble();
    metrics->height = h.captured(1).toDouble();
    const auto a = align.match(head);
    metrics->depth = a.hasMatch() ? -a.captured(1).toDouble() : 0.0;
    return metrics->width > 0 && metrics->height > 0;
}

}  // namespace

QString explainTexError(const QString& message)
{
    // MathJax's TeX messages in Chinese; the command a message names is kept as it is. A message
    // not listed here is shown in MathJax's own words after a Chinese lead.
    struct Known {
        const char* pattern;
        const char* chinese;
    };
    static const Known known[] = {
        {"^Missing close brace$", "缺少右花括号 }"},
        {"^Extra close brace or missing open brace$", "多了右花括号 }，或缺少左花括号 {"},
        {"^Extra open brace or missing close brace$", "多了左花括号 {，或缺少右花括号 }"},
        {"^Undefined control sequence (.+)$", "无法识别的命令 %1"},
        {"^Missing argument for (.+)$", "命令 %1 缺少参数"},
        {"^Double exponent: use braces to clarify$", "上标重复，请用花括号分组"},
        {"^Double subscripts: use braces to clarify$", "下标重复，请用花括号分组"},
        {"^Misplaced (.+)$", "%1 的位置不对"},
        {"^Missing (\\\\right|\\\\left)(.*)$", "缺少与之配对的 %1"},
        {"^Extra (\\\\right|\\\\left)(.*)$", "多余的 %1"},
        {"^Missing or unrecognized delimiter for (.+)$", "%1 后缺少括号或括号无法识别"},
        {"^Unknown environment '(.+)'$", "无法识别的环境 %1"},
        {"^(.+) can only appear inside \\\\left and \\\\right$", "%1 只能在 \\left 与 \\right 之间使用"},
        {"^Illegal macro parameter character # in math mode$", "公式中不能单独使用 #"},
        {"^Argument to (.+) must be a dimension$", "%1 的参数必须是长度"},
    };
    const QString text = message.trimmed();
    for (const Known& k : known) {
        const QRegularExpression re(QString::fromUtf8(k.pattern));
        const QRegularExpressionMatch m = re.match(text);
        if (m.hasMatch()) return QString::fromUtf8(k.chinese).arg(m.captured(1));
    }
    return QStringLiteral("无法识别的公式（%1）").arg(text);
}

MathRenderer::MathRenderer(const QString& node, const QString& folder, QObject* parent)
    : QObject(parent), node_(node), folder_(folder.isEmpty() ? mathjaxFolder() : folder)
{
}

MathRenderer::~MathRenderer()
{
    stop();
}

MathRenderer* MathRenderer::shared()
{
    static QPointer<MathRenderer> renderer;
    if (!renderer) renderer = new MathRenderer(QString(), QString(), QCoreApplication::instance());
    return renderer;
}

QString MathRenderer::mathjaxFolder()
{
    QStringList candidates;
    const QString fromEnvironment = qEnvironmentVariable("EXAVORO_MATHJAX_DIR");
    if (!fromEnvironment.isEmpty()) candidates << fromEnvironment;
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (!programFolder.isEmpty()) {
        candidates << programFolder + QStringLiteral("/mathjax")
                   << programFolder + QStringLiteral("/../share/exavoro/mathjax");
    }
#ifdef EXAVORO_MATHJAX_SOURCE_DIR
    candidates << QStringLiteral(EXAVORO_MATHJAX_SOURCE_DIR);
#endif
    for (const QString& folder : candidates) {
        if (holdsMathJax(folder)) return QDir::cleanPath(folder);
    }
    return QString();
}

void MathRenderer::setTimeouts(int startMs, int requestMs)
{
    startTimeout_ = startMs;
    requestTimeout_ = requestMs;
}

QString MathRenderer::nodeProgram() const
{
    if (!node_.isEmpty()) {
        const QFileInfo info(node_);
        if (info.isAbsolute()) return info.isExecutable() ? node_ : QString();
        return QStandardPaths::findExecutable(node_);
    }
    for (const QString& name : {QStringLiteral("node"), QStringLiteral("nodejs")}) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty()) return found;
    }
    return QString();
}

bool MathRenderer::ensureStarted(QString* error)
{
    if (process_ && process_->state() == QProcess::Running) return true;
    stop();
    const QString node = nodeProgram();
    if (node.isEmpty()) {
        *error = QStringLiteral("未找到 Node.js（需要软件包 nodejs），无法排版公式");
        return false;
    }
    if (!holdsMathJax(folder_)) {
        *error = QStringLiteral("未找到公式排版组件 MathJax（请运行 scripts/install-deps.sh）");
        return false;
    }
    process_ = new QProcess(this);
    process_->setWorkingDirectory(folder_);
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start(node, {folder_ + QStringLiteral("/render.js")});
    if (!process_->waitForStarted(startTimeout_)) {
        *error = QStringLiteral("公式排版程序无法启动：") + process_->errorString();
        stop();
        return false;
    }
    pending_.clear();
    nextId_ = 1;
    return true;
}

void MathRenderer::stop()
{
    if (!process_) return;
    if (process_->state() != QProcess::NotRunning) {
        process_->closeWriteChannel();
        if (!process_->waitForFinished(1000)) {
            process_->kill();
            process_->waitForFinished(1000);
        }
    }
    delete process_;
    process_ = nullptr;
    pending_.clear();
}

QByteArray MathRenderer::svg(const QString& tex, bool display, QString* error)
{
    const QString key = (display ? QStringLiteral("D") : QStringLiteral("I")) + tex;
    const auto cached = cache_.constFind(key);
    if (cached != cache_.cend()) {
        *error = cached->error;
        return cached->svg;
    }
    if (tex.trimmed().isEmpty()) {
        *error = QStringLiteral("公式为空");
        return QByteArray();
    }
    const bool fresh = !(process_ && process_->state() == QProcess::Running);
    if (!ensureStarted(error)) return QByteArray();

    const qint64 id = nextId_++;
    const QJsonObject request{
        {QStringLiteral("id"), id}, {QStringLiteral("tex"), tex}, {QStringLiteral("display"), display}};
    process_->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');

    // The first answer also waits for MathJax to load.
    QDeadlineTimer deadline(fresh ? startTimeout_ : requestTimeout_);
    for (;;) {
        const int newline = pending_.indexOf('\n');
        if (newline >= 0) {
            const QByteArray line = pending_.left(newline);
            pending_.remove(0, newline + 1);
            const QJsonObject answer = QJsonDocument::fromJson(line).object();
            if (answer.value(QStringLiteral("id")).toInteger(-1) != id) continue;  // a stale answer
            Answer result;
            if (answer.contains(QStringLiteral("svg"))) {
                result.svg = answer.value(QStringLiteral("svg")).toString().toUtf8();
            } else {
                result.error = QStringLiteral("公式有误：") + explainTexError(answer.value(QStringLiteral("error")).toString());
            }
            // Only what MathJax said is kept: a failure of the helper itself may pass.
            if (cache_.size() > 2000) cache_.clear();
            cache_.insert(key, result);
            *error = result.error;
            return result.svg;
        }
        if (process_->state() != QProcess::Running) {
            const QString detail =
                QString::fromLocal8Bit(process_->readAllStandardError()).trimmed().section('\n', 0, 0);
            *error =
                QStringLiteral("公式排版程序意外退出") + (detail.isEmpty() ? QString() : QStringLiteral("：") + detail);
            stop();
            return QByteArray();
        }
        if (deadline.hasExpired()) {
            *error = QStringLiteral("公式排版超时");
            stop();
            return QByteArray();
        }
        process_->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        pending_ += process_->readAllStandardOutput();
    }
}

MathImage MathRenderer::render(const QString& tex, bool display, qreal fontPixelSize, qreal devicePixelRatio)
{
    MathImage result;
    const QByteArray text = svg(tex, display, &result.error);
    if (!result.ok()) return result;
    SvgMetrics metrics;
    QSvgRenderer renderer(text);
    if (!readMetrics(text, &metrics) || !renderer.isValid()) {
        result.error = QStringLiteral("公式图像无法显示");
        return result;
    }
    const qreal ex = fontPixelSize / 2.0;
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QSizeF size(metrics.width * ex, metrics.height * ex);
    // A formula may ask for any size (\rule{3000em}{3000em}, a huge \hspace): the picture never
    // exceeds kMaxPreviewPixels a side. Up to kMaxPreviewScale times larger it is drawn scaled down
    // to fit; beyond that it is refused, as a picture of mostly nothing would say less than a reason.
    const qreal longest = qMax(size.width(), size.height()) * dpr;
    if (!std::isfinite(longest) || longest > kMaxPreviewPixels * kMaxPreviewScale) {
        result.error = QStringLiteral("公式太大（约 %1×%2 像素），无法预览")
                           .arg(qint64(qMin<qreal>(size.width(), 1e12)))
                           .arg(qint64(qMin<qreal>(size.height(), 1e12)));
        return result;
    }
    qreal scale = 1.0;
    if (longest > kMaxPreviewPixels) {
        scale = kMaxPreviewPixels / longest;
        size *= scale;
    }
    // Rounded up at natural size, so nothing is cut off; to the nearest pixel when scaled to the cap.
    const auto side = [&](qreal length) {
        return qBound(1, int(scale < 1 ? std::lround(length * dpr) : std::ceil(length * dpr)), kMaxPreviewPixels);
    };
    QImage image(side(size.width()), side(size.height()), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        result.error = QStringLiteral("公式图像无法显示");
        return result;
    }
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), size * dpr));
    }
    image.setDevicePixelRatio(dpr);
    result.image = image;
    // The baseline lies within the picture, whatever the formula claims.
    result.baseline = qBound<qreal>(0, (metrics.height - metrics.depth) * ex * scale, image.height() / dpr);
    return result;
}

}  // namespace content
