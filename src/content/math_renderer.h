#pragma once
#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>

class QProcess;

namespace content {

// One formula typeset as a picture.
struct MathImage {
    QImage image;        // transparent background, formula in black; empty on failure
    qreal baseline = 0;  // distance in device-independent pixels from the image's top to the formula's baseline
    QString error;       // short Chinese reason when the formula could not be typeset
    bool ok() const { return error.isEmpty(); }
    // MathJax could not read the TeX (as opposed to the typesetter being missing or slow).
    bool texError() const { return error.startsWith(QStringLiteral("公式有误：")); }
};

// A TeX error message of MathJax's in Chinese ("Missing close brace" → "缺少右花括号 }").
QString explainTexError(const QString& message);

// Typesets TeX formulas for the previews with MathJax's SVG output under Node.js and draws the SVG
// with QtSvg. One helper process (render.js beside MathJax) is started on the first request and
// kept for the following ones; every request and answer is one JSON line, with a timeout. Nothing
// here throws: every failure (no Node.js, no MathJax, bad TeX, a hung helper) comes back as a
// reason in Chinese.
class MathRenderer : public QObject {
    Q_OBJECT
public:
    // node: the Node.js program (empty: "node" or "nodejs" on PATH); folder: the folder of
    // render.js and its node_modules (empty: found by mathjaxFolder()).
    explicit MathRenderer(const QString& node = QString(), const QString& folder = QString(),
                          QObject* parent = nullptr);
    ~MathRenderer() override;

    // The renderer the program's previews share; it lives as long as the application object.
    static MathRenderer* shared();

    // The folder holding render.js and node_modules/mathjax-full: $EXAVORO_MATHJAX_DIR, then
    // "mathjax" beside the executable, then ../share/exavoro/mathjax, then the source tree's copy.
    // Empty when none holds them.
    static QString mathjaxFolder();

    // The formula as SVG text; on failure empty, with the reason in *error.
    QByteArray svg(const QString& tex, bool display, QString* error);

    // The formula drawn for text of this pixel size (1 ex is half of it), at this device pixel ratio.
    MathImage render(const QString& tex, bool display, qreal fontPixelSize, qreal devicePixelRatio = 1.0);

    // Longest side of a formula's picture in device pixels, and how many times larger a formula may
    // be and still be drawn (scaled down to fit) rather than refused.
    static constexpr int kMaxPreviewPixels = 4096;
    static constexpr int kMaxPreviewScale = 4;

    // Milliseconds allowed for the helper to start and for one formula.
    void setTimeouts(int startMs, int requestMs);

private:
    bool ensureStarted(QString* error);
    void stop();
    QString nodeProgram() const;

    QString node_;
    QString folder_;
    QProcess* process_ = nullptr;
    QByteArray pending_;  // output read past the last complete answer
    qint64 nextId_ = 1;
    int startTimeout_ = 20000;
    int requestTimeout_ = 10000;
    struct Answer {
        QByteArray svg;
        QString error;
    };
    QHash<QString, Answer> cache_;  // keyed by display flag and TeX source
};

}  // namespace content
