// Writes the link file at build time: swxgen ADDRESS OUTFILE
#include "settings/LinkFile.h"

#include <QSaveFile>
#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: swxgen ADDRESS OUTFILE\n");
        return 1;
    }
    try {
        QSaveFile out(QString::fromLocal8Bit(argv[2]));
        if (out.open(QIODevice::WriteOnly) &&
            out.write(MakeLinkFile(QString::fromLocal8Bit(argv[1]))) >= 0 && out.commit())
            return 0;
        std::fprintf(stderr, "swxgen: cannot write %s\n", argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "swxgen: %s\n", e.what());
    }
    return 1;
}
