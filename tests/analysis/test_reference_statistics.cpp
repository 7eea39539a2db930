// The item analysis against R: a generated sitting of 300 students and 25 questions (right/wrong
// questions, questions of several points, one question going against the rest) is written as CSV,
// R computes Cronbach's α and each question's item–rest correlation with the psych package and the
// means, P, D (top and bottom 27 % by total, ties in the sheet's order), and the totals' mean, sd
// and median by a few lines of its own; analyse() must agree to 1e-6. A sitting of right/wrong
// questions alone checks KR-20 the same way. Skipped only where R or psych is not installed.
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <random>

#include "analysis/item_analysis.h"

using analysis::Sitting;

namespace {

// R's side: the figures of the sitting in scores.csv (full marks in full.csv), one per line as
// "name value".
const char* const kScript = R"R(
suppressPackageStartupMessages(library(psych))
args <- commandArgs(trailingOnly = TRUE)
x <- as.matrix(read.csv(args[1], header = TRUE))
full <- as.numeric(unlist(read.csv(args[2], header = TRUE)[1, ]))
out <- args[3]
n <- nrow(x)
k <- ncol(x)
tot <- rowSums(x)
a <- suppressWarnings(psych::alpha(x, check.keys = FALSE, warnings = FALSE))
g <- max(1, round(0.27 * n))
o <- order(-tot)  # a stable order: equal totals keep the sheet's order
top <- o[1:g]
bottom <- o[(n - g + 1):n]
lines <- c(sprintf("alpha %.15g", a$total$raw_alpha),
           sprintf("mean %.15g", mean(tot)), sprintf("sd %.15g", sd(tot)), sprintf("median %.15g", median(tot)))
p <- colMeans(x) / full
if (all(x == 0 | x == 1)) {
  pv <- colMeans(x)
  lines <- c(lines, sprintf("kr20 %.15g", k / (k - 1) * (1 - sum(pv * (1 - pv)) / (var(tot) * (n - 1) / n))))
}
for (j in 1:k) {
  d <- (sum(x[top, j]) - sum(x[bottom, j])) / (g * full[j])
  lines <- c(lines, sprintf("mean%d %.15g", j, mean(x[, j])), sprintf("p%d %.15g", j, p[j]),
             sprintf("d%d %.15g", j, d), sprintf("r%d %.15g", j, a$item.stats$r.drop[j]))
}
writeLines(lines, out)
)R";

// A sitting with a known structure: each student's ability, each question's difficulty and
// discrimination. Questions 0–14 are right or wrong (1 point, or 2 for every fifth), 15–23 take
// partial points (4 to 10 in halves), and question 24 is answered better by the weaker students.
Sitting generated(int students, bool rightOrWrongOnly, unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0, 1);
    std::uniform_real_distribution<double> uniform(0, 1);
    Sitting s;
    const int questions = 25;
    for (int q = 0; q < questions; ++q) {
        const bool partial = !rightOrWrongOnly && q >= 15 && q < 24;
        s.fullMarks << (rightOrWrongOnly ? 1.0 : partial ? 4.0 + (q % 4) * 2 : (q % 5 == 0 ? 2.0 : 1.0));
    }
    for (int i = 0; i < students; ++i) {
        const double ability = normal(random);
        QVector<double> row;
        for (int q = 0; q < questions; ++q) {
            const double full = s.fullMarks.at(q);
            const double difficulty = -1.5 + 3.0 * q / questions;
            const double loading = q == 24 ? -0.8 : 0.6 + 0.1 * (q % 7);
            const double chance = 1 / (1 + std::exp(-(loading * ability * 1.7 - difficulty)));
            if (rightOrWrongOnly || q < 15 || q == 24) {
                row << (uniform(random) < chance ? full : 0.0);
            } else {
                // Partial points in halves around the expected share of the full marks.
                const double points = std::round(2 * full * std::clamp(chance + 0.15 * normal(random), 0.0, 1.0)) / 2;
                row << points;
            }
        }
        s.scores << row;
    }
    return s;
}

QString number(double v)
{
    return QString::number(v, 'g', 17);
}

bool writeCsv(const QString& path, const QList<QVector<double>>& rows, int columns)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QStringList heading;
    for (int q = 0; q < columns; ++q) heading << QStringLiteral("q%1").arg(q + 1);
    file.write(heading.join(',').toUtf8() + '\n');
    for (const QVector<double>& row : rows) {
        QStringList cells;
        for (const double v : row) cells << number(v);
        file.write(cells.join(',').toUtf8() + '\n');
    }
    return true;
}

// Runs the script on the sitting; the figures by name, or an empty table with the reason.
QHash<QString, double> fromR(const Sitting& s, const QString& rscript, QString* why)
{
    QTemporaryDir dir;
    const QString scores = dir.filePath("scores.csv"), full = dir.filePath("full.csv"), out = dir.filePath("out.txt"),
                  script = dir.filePath("reference.R");
    if (!writeCsv(scores, s.scores, int(s.fullMarks.size())) ||
        !writeCsv(full, {s.fullMarks}, int(s.fullMarks.size()))) {
        *why = "cannot write the sitting";
        return {};
    }
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly) || f.write(kScript) < 0) {
        *why = "cannot write the script";
        return {};
    }
    f.close();
    QProcess r;
    r.setProcessChannelMode(QProcess::MergedChannels);
    r.start(rscript, {"--vanilla", script, scores, full, out});
    if (!r.waitForFinished(120000)) {
        r.kill();
        r.waitForFinished();
        *why = "Rscript did not finish within two minutes";
        return {};
    }
    if (r.exitStatus() != QProcess::NormalExit || r.exitCode() != 0) {
        *why = "Rscript failed: " + QString::fromLocal8Bit(r.readAll()).right(500);
        return {};
    }
    QFile result(out);
    if (!result.open(QIODevice::ReadOnly)) {
        *why = "R wrote no figures";
        return {};
    }
    QHash<QString, double> figures;
    for (const QByteArray& line : result.readAll().split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() == 2) figures.insert(QString::fromLatin1(parts.at(0)), parts.at(1).toDouble());
    }
    return figures;
}

}  // namespace

class ReferenceStatisticsTest : public QObject {
    Q_OBJECT
private:
    QString rscript_;

    // Compares analyse() with R on a sitting; `label` names it in a failure.
    void compareWithR(const Sitting& s, bool rightOrWrongOnly)
    {
        QString why;
        const QHash<QString, double> r = fromR(s, rscript_, &why);
        QVERIFY2(!r.isEmpty(), qPrintable(why));
        const analysis::Analysis a = analysis::analyse(s);
        int compared = 0;
        double largest = 0;
        const auto same = [&](const QString& name, double ours) {
            QVERIFY2(r.contains(name), qPrintable("R gave no " + name));
            ++compared;
            largest = std::max(largest, std::fabs(ours - r.value(name)));
            QVERIFY2(std::fabs(ours - r.value(name)) < 1e-6,
                     qPrintable(QStringLiteral("%1: ours %2, R %3").arg(name, number(ours), number(r.value(name)))));
        };
        same("alpha", a.paper.alpha);
        same("mean", a.paper.mean);
        same("sd", a.paper.sd);
        same("median", a.paper.median);
        if (rightOrWrongOnly) same("kr20", a.paper.alpha);
        QVERIFY(!rightOrWrongOnly || r.contains("kr20"));
        for (int q = 0; q < s.fullMarks.size(); ++q) {
            const analysis::ItemStats& item = a.items.at(q);
            same(QStringLiteral("mean%1").arg(q + 1), item.mean);
            same(QStringLiteral("p%1").arg(q + 1), item.difficulty);
            same(QStringLiteral("d%1").arg(q + 1), item.discrimination);
            same(QStringLiteral("r%1").arg(q + 1), item.itemRest);
        }
        // The log tells what was compared: the figures, α on both sides and the largest difference.
        qInfo("%d figures compared with R: alpha ours %.10f, R %.10f; largest difference %.3g", compared,
              a.paper.alpha, r.value(QStringLiteral("alpha")), largest);
    }

private slots:
    void initTestCase()
    {
        rscript_ = QStandardPaths::findExecutable(QStringLiteral("Rscript"));
        if (rscript_.isEmpty()) QSKIP("Rscript is not installed (Debian: r-base-core)");
        QProcess probe;
        probe.start(rscript_,
                    {"--vanilla", "-e", "quit(status = if (requireNamespace('psych', quietly = TRUE)) 0 else 3)"});
        QVERIFY2(probe.waitForFinished(60000), "Rscript did not answer");
        if (probe.exitCode() == 3) QSKIP("R's psych package is not installed (Debian: r-cran-psych)");
        QCOMPARE(probe.exitCode(), 0);
    }

    void aMixedSittingAgreesWithR()
    {
        const Sitting s = generated(300, false, 20241209);
        // The structure the test relies on: every kind of question, and the contrary one.
        const analysis::Analysis a = analysis::analyse(s);
        QVERIFY(a.items.at(0).dichotomous);
        QVERIFY(!a.items.at(20).dichotomous);
        QVERIFY2(a.items.at(24).itemRest < 0, qPrintable(number(a.items.at(24).itemRest)));
        QVERIFY(a.paper.alpha > 0.5);
        compareWithR(s, false);
    }

    void aRightOrWrongSittingGivesRsKr20()
    {
        const Sitting s = generated(300, true, 7);
        QVERIFY(analysis::analyse(s).items.at(10).dichotomous);
        compareWithR(s, true);
    }
};

QTEST_GUILESS_MAIN(ReferenceStatisticsTest)
#include "test_reference_statistics.moc"
