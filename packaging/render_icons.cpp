// Writes the program's icon as PNG files in the hicolor sizes: render_icons OUTPUT_FOLDER
// gives OUTPUT_FOLDER/<n>x<n>/apps/exavoro.png for every installed size.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <cstdio>

#include "ui/artwork.h"

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_icons OUTPUT_FOLDER\n");
        return 2;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(folder) || !artwork::appIconImage(size).save(folder + QStringLiteral("/exavoro.png"))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
