#include "data/random_draw.h"

#include <QRandomGenerator>

namespace randomdraw {

namespace {

quint32& stateRef()
{
    static quint32 value = QRandomGenerator::system()->generate();
    return value;
}

// Seeds the generator while the program starts rather than at the first draw.
const struct Seeder {
    Seeder() { stateRef(); }
} seeder;

}  // namespace

quint32 state()
{
    return stateRef();
}

void setState(quint32 value)
{
    stateRef() = value;
}

int below(int n)
{
    quint32& s = stateRef();
    s = s * 134775813u + 1u;  // unsigned arithmetic wraps modulo 2^32
    return static_cast<int>((static_cast<quint64>(s) * static_cast<quint64>(n)) >> 32);
}

}  // namespace randomdraw
