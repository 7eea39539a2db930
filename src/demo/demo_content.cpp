#include "demo/demo_content.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <tuple>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using i64 = long long;

enum Diff { D1, D2, D3, D4, D5 };          // 易, 较易, 中等, 较难, 难
enum Type { Choice, Fill, Judge, Open };   // Open is 简答题 or 计算题, scored by difficulty

const char16_t *const kDiffNames[] = {u"易", u"较易", u"中等", u"较难", u"难"};
const char16_t *const kCnDigits[] = {u"零", u"一", u"二", u"三", u"四", u"五", u"六", u"七", u"八", u"九"};

struct Row {
    int type, chapter, diff;
    const char16_t *q, *a;
};

QString scoreFor(int type, int diff)
{
    static const int open[] = {4, 5, 6, 8, 10};
    if (type == Choice || type == Fill) return u"3"_s;
    if (type == Judge) return u"2"_s;
    return QString::number(open[diff]);
}

class Bank {
public:
    Bank(const QString &name, const QStringList &types, const QStringList &chapters)
    {
        subject_.name = name;
        subject_.types = types;
        subject_.chapters = chapters;
    }
    void add(int type, int chapter, int diff, const QString &q, const QString &a)
    {
        subject_.questions.append({subject_.types.at(type), subject_.chapters.at(chapter),
                                   QString::fromUtf16(kDiffNames[diff]), scoreFor(type, diff), q, a});
    }
    template <std::size_t N> void addRows(const Row (&rows)[N])
    {
        for (const Row &r : rows) add(r.type, r.chapter, r.diff, QString::fromUtf16(r.q), QString::fromUtf16(r.a));
    }
    // opts[0] is the right option; it is moved to a varying slot, the others keep their order.
    void addChoice(int chapter, int diff, const QString &stem, const QStringList &opts, const QString &reason)
    {
        static const int kSlots[] = {2, 0, 3, 1, 1, 3, 0, 2};
        const int pos = kSlots[choices_++ % 8];
        QStringList order = opts.mid(1, 3);
        order.insert(pos, opts.at(0));
        QString q = stem;
        for (int i = 0; i < order.size(); ++i) q += u"\n"_s + QChar(u'A' + i) + u". "_s + order.at(i);
        add(Choice, chapter, diff, q, u"答案：%1。%2"_s.arg(QChar(u'A' + pos)).arg(reason));
    }
    DemoSubject take() { return std::move(subject_); }

private:
    DemoSubject subject_;
    int choices_ = 0;
};

// ---- number and formula formatting ----

QString num(i64 v) { return v < 0 ? u"−"_s + QString::number(-v) : QString::number(v); }
QString par(i64 v) { return v < 0 ? u"("_s + num(v) + u")"_s : num(v); }

struct Frac {
    i64 n, d;
};
Frac fr(i64 n, i64 d = 1)
{
    if (d < 0) n = -n, d = -d;
    const i64 g = std::gcd(n, d);
    return g ? Frac{n / g, d / g} : Frac{0, 1};
}
Frac operator+(Frac x, Frac y) { return fr(x.n * y.d + y.n * x.d, x.d * y.d); }
Frac operator*(Frac x, Frac y) { return fr(x.n * y.n, x.d * y.d); }
QString fs(Frac f) { return f.d == 1 ? num(f.n) : num(f.n) + u"/"_s + QString::number(f.d); }

// Decimal form of a fraction whose denominator has no prime factors but 2 and 5.
QString dec(Frac f)
{
    i64 scaled = f.n;
    int places = 0;
    while (scaled % f.d != 0 && places < 6) scaled *= 10, ++places;
    const i64 v = scaled / f.d;
    QString digits = QString::number(std::llabs(v));
    if (places > 0) {
        digits = digits.rightJustified(places + 1, u'0');
        digits.insert(digits.size() - places, u'.');
    }
    return (v < 0 ? u"−"_s : QString()) + digits;
}

QString sup(i64 e)
{
    static const char16_t digits[] = u"⁰¹²³⁴⁵⁶⁷⁸⁹";
    QString s;
    for (QChar c : QString::number(e)) s += QChar(digits[c.unicode() - u'0']);
    return s;
}
QString power(const QString &var, int e) { return e == 0 ? QString() : e == 1 ? var : var + sup(e); }

struct Term {
    i64 c;
    QString v;
};
// "3x − 5", "−x² + 2y"; zero terms are left out.
QString poly(const QVector<Term> &terms)
{
    QString out;
    for (const Term &t : terms) {
        if (t.c == 0) continue;
        const i64 a = std::llabs(t.c);
        const QString body = (a == 1 && !t.v.isEmpty()) ? t.v : QString::number(a) + t.v;
        if (out.isEmpty()) out = (t.c < 0 ? u"−"_s : QString()) + body;
        else out += (t.c < 0 ? u" − "_s : u" + "_s) + body;
    }
    return out.isEmpty() ? u"0"_s : out;
}
QString times(i64 k, const QString &inner)
{
    return (k == 1 ? QString() : k == -1 ? u"−"_s : num(k)) + u"("_s + inner + u")"_s;
}
QString xPlus(i64 c) { return poly({{1, u"x"_s}, {c, {}}}); }

QString joinNums(const QVector<int> &v)
{
    QStringList parts;
    for (int x : v) parts << num(x);
    return parts.join(u"，"_s);
}

struct Stats {
    QString sorted, mean, median, mode;
};
Stats stats(QVector<int> v)
{
    std::sort(v.begin(), v.end());
    const int n = int(v.size());
    Stats s;
    s.sorted = joinNums(v);
    s.mean = dec(fr(std::accumulate(v.begin(), v.end(), 0LL), n));
    s.median = n % 2 ? num(v[n / 2]) : dec(fr(v[n / 2 - 1] + v[n / 2], 2));
    int best = 0;
    QStringList modes;
    for (int i = 0; i < n;) {
        int j = i;
        while (j < n && v[j] == v[i]) ++j;
        if (j - i > best) best = j - i, modes.clear();
        if (j - i == best) modes << num(v[i]);
        i = j;
    }
    s.mode = modes.join(u"和"_s);
    return s;
}

QString bin(i64 v) { return v == 0 ? u"0"_s : QString::number(v, 2); }
QString hex(i64 v) { return QString::number(v, 16).toUpper(); }

// Takes the first three candidates that differ from the right answer and from each other.
QStringList options(const QString &right, const QStringList &candidates)
{
    QStringList out{right};
    for (const QString &c : candidates)
        if (out.size() < 4 && !out.contains(c)) out << c;
    return out;
}

// Clock angle in half degrees between the hands at h:m, reduced to the smaller angle.
QString clockWork(int h, int m, QString *result)
{
    const int hour2 = 60 * (h % 12) + m, minute2 = 12 * m;
    int diff2 = std::abs(hour2 - minute2);
    if (diff2 > 360) diff2 = 720 - diff2;
    *result = dec(fr(diff2, 2));
    return u"分针每分钟转 6°，时针每分钟转 0.5°。从 12 点方向算起，此时时针转过 %1°，分针转过 %2°，"
           "两针所成的较小的角为 %3°。"_s.arg(dec(fr(hour2, 2)), dec(fr(minute2, 2)), *result);
}

QString angle(int minutes)
{
    return minutes % 60 ? u"%1°%2′"_s.arg(minutes / 60).arg(minutes % 60) : u"%1°"_s.arg(minutes / 60);
}

// =====================================================================================
// 数学（初中）
// =====================================================================================

DemoSubject maths()
{
    enum { Rational, Poly, Equation, Geometry, Data };
    Bank bank(u"数学"_s, {u"选择题"_s, u"填空题"_s, u"判断题"_s, u"计算题"_s},
              {u"有理数"_s, u"整式的加减"_s, u"一元一次方程"_s, u"几何图形初步"_s, u"数据的收集、整理与描述"_s});
    const QString steps = u"计算（写出主要步骤）："_s;

    // --- 有理数的运算 ---
    const struct { int a, b, c, diff; } addSub[] = {{-8, 15, 6, D1}, {-12, 7, -9, D2}};
    for (const auto &p : addSub)
        bank.add(Open, Rational, p.diff, steps + u"%1 + %2 − %3"_s.arg(par(p.a), num(p.b), par(p.c)),
                 u"原式 = %1 − %2 = %3。"_s.arg(num(p.a + p.b), par(p.c), num(p.a + p.b - p.c)));
    const struct { int a, b, c, diff; } mulDiv[] = {{-12, 5, -4, D2}, {18, -4, 6, D1}, {-9, -8, 12, D3}};
    for (const auto &p : mulDiv)
        bank.add(Open, Rational, p.diff, steps + u"%1 × %2 ÷ %3"_s.arg(par(p.a), par(p.b), par(p.c)),
                 u"原式 = %1 ÷ %2 = %3。先定符号，再把绝对值相乘除。"_s.arg(par(p.a * p.b), par(p.c), num(p.a * p.b / p.c)));
    const struct { int a, b, c, d, diff; } powers[] = {{2, 2, 4, 3, D4}, {3, 3, 9, -2, D4}, {1, 4, 16, 5, D3}};
    for (const auto &p : powers) {
        const int t1 = -p.a * p.a, t2 = -p.b * p.b * p.b, t3 = t2 / p.c * p.d;
        bank.add(Open, Rational, p.diff, steps + u"−%1² + (−%2)³ ÷ %3 × %4"_s.arg(num(p.a), num(p.b), num(p.c), par(p.d)),
                 u"原式 = %1 + (%2) ÷ %3 × %4 = %1 + %5 = %6。注意 −%7² 表示 %7² 的相反数。"_s.arg(
                     num(t1), num(t2), num(p.c), par(p.d), par(t3), num(t1 + t3), num(p.a)));
    }
    const struct { int p1, q1, p2, q2, p3, q3, m, diff; } distrib[] = {{1, 2, 2, 3, 3, 4, 12, D3}, {1, 3, 3, 4, 5, 6, 24, D5}};
    for (const auto &p : distrib) {
        const QString f1 = u"%1/%2"_s.arg(p.p1).arg(p.q1), f2 = u"%1/%2"_s.arg(p.p2).arg(p.q2),
                      f3 = u"%1/%2"_s.arg(p.p3).arg(p.q3), m = par(-p.m);
        const i64 t1 = -p.m / p.q1 * p.p1, t2 = p.m / p.q2 * p.p2, t3 = -p.m / p.q3 * p.p3;
        bank.add(Open, Rational, p.diff, u"用简便方法计算：(%1 − %2 + %3) × %4"_s.arg(f1, f2, f3, m),
                 u"运用乘法分配律：原式 = %1 × %4 − %2 × %4 + %3 × %4 = %5 = %6。"_s.arg(
                     f1, f2, f3, m, poly({{t1, {}}, {t2, {}}, {t3, {}}}), num(t1 + t2 + t3)));
    }

    // --- 整式的加减 ---
    const QString basis[] = {u"x²"_s, u"xy"_s, u"x"_s, u"y"_s};
    const struct { int k1, a[4], k2, b[4]; bool eval; int xn, xd, y, diff; } simplify[] = {
        {1, {0, 0, 3, 2}, 1, {0, 0, 1, -4}, false, 0, 1, 0, D1},
        {2, {1, 0, -3, 0}, 3, {1, 0, -2, 0}, false, 0, 1, 0, D2},
        {4, {0, 1, 0, -1}, 2, {1, 2, 0, -3}, true, -2, 1, 3, D3},
        {3, {1, -2, 0, 0}, 1, {3, 0, 0, -2}, true, -1, 1, 2, D4},
        {2, {2, -1, 0, 0}, 3, {1, -1, 0, 1}, true, -1, 2, 4, D5},
    };
    for (const auto &p : simplify) {
        QVector<Term> first, second, expanded, result;
        for (int i = 0; i < 4; ++i) {
            first << Term{p.a[i], basis[i]};
            second << Term{p.b[i], basis[i]};
            result << Term{p.k1 * p.a[i] - p.k2 * p.b[i], basis[i]};
        }
        for (int i = 0; i < 4; ++i) expanded << Term{p.k1 * p.a[i], basis[i]};
        for (int i = 0; i < 4; ++i) expanded << Term{-p.k2 * p.b[i], basis[i]};
        const QString expr = times(p.k1, poly(first)) + u" − "_s + times(p.k2, poly(second));
        QString answer = u"原式 = %1 = %2。"_s.arg(poly(expanded), poly(result));
        if (!p.eval) {
            bank.add(Open, Poly, p.diff, u"化简：%1"_s.arg(expr), answer);
            continue;
        }
        const Frac x = fr(p.xn, p.xd), y = fr(p.y);
        const Frac values[] = {x * x, x * y, x, y};
        const QString px = x.n < 0 ? u"("_s + fs(x) + u")"_s : fs(x), py = par(p.y);
        const QString substituted[] = {px + u"²"_s, px + u" × "_s + py, px, py};
        Frac total = fr(0);
        QString sum;
        for (int i = 0; i < 4; ++i) {
            const i64 c = result[i].c;
            if (c == 0) continue;
            total = total + fr(c) * values[i];
            const QString term = (std::llabs(c) == 1 ? QString() : QString::number(std::llabs(c)) + u" × "_s) + substituted[i];
            sum += sum.isEmpty() ? (c < 0 ? u"−"_s : QString()) + term : (c < 0 ? u" − "_s : u" + "_s) + term;
        }
        answer += u"当 x = %1，y = %2 时，原式 = %3 = %4。"_s.arg(fs(x), fs(y), sum, fs(total));
        bank.add(Open, Poly, p.diff, u"先化简，再求值：%1，其中 x = %2，y = %3。"_s.arg(expr, fs(x), fs(y)), answer);
    }

    // --- 一元一次方程 ---
    const struct { int a, b, c, x, diff; } linear[] = {{3, -5, 1, 4, D1}, {5, 7, 2, -3, D2}, {2, 9, 6, 3, D3}};
    for (const auto &p : linear) {
        const int d = (p.a - p.c) * p.x + p.b;
        bank.add(Open, Equation, p.diff,
                 u"解方程：%1 = %2"_s.arg(poly({{p.a, u"x"_s}, {p.b, {}}}), poly({{p.c, u"x"_s}, {d, {}}})),
                 u"移项，得 %1 = %2；合并同类项，得 %3 = %4；系数化为 1，得 x = %5。"_s.arg(
                     poly({{p.a, u"x"_s}, {-p.c, u"x"_s}}), poly({{d, {}}, {-p.b, {}}}), poly({{p.a - p.c, u"x"_s}}),
                     num(d - p.b), fs(fr(d - p.b, p.a - p.c))));
    }
    const struct { int a, b, c, d, x, diff; } brackets[] = {{4, -1, 2, 3, 2, D3}, {5, -2, 3, 1, -3, D4}};
    for (const auto &p : brackets) {
        const int e = p.a * (p.x + p.b) - p.c * (p.x + p.d), rhs = p.c * p.d + e - p.a * p.b;
        bank.add(Open, Equation, p.diff,
                 u"解方程：%1 = %2"_s.arg(times(p.a, xPlus(p.b)), poly({{p.c, u"("_s + xPlus(p.d) + u")"_s}, {e, {}}})),
                 u"去括号，得 %1 = %2；移项，得 %3 = %4；合并同类项，得 %5 = %6；系数化为 1，得 x = %7。"_s.arg(
                     poly({{p.a, u"x"_s}, {p.a * p.b, {}}}), poly({{p.c, u"x"_s}, {p.c * p.d, {}}, {e, {}}}),
                     poly({{p.a, u"x"_s}, {-p.c, u"x"_s}}), poly({{p.c * p.d, {}}, {e, {}}, {-p.a * p.b, {}}}),
                     poly({{p.a - p.c, u"x"_s}}), num(rhs), fs(fr(rhs, p.a - p.c))));
    }
    const struct { int a, p, b, q, x, diff; } fractions[] = {{1, 2, 2, 3, 5, D4}, {3, 4, 1, 6, 13, D5}, {2, 3, -4, 2, 4, D5}};
    for (const auto &f : fractions) {
        const Frac r = fr(f.x + f.a, f.p) + fr(-(f.x - f.b), f.q);
        const int l = std::lcm(f.p, f.q), m1 = l / f.p, m2 = l / f.q;
        const i64 big = l * r.n / r.d, rhs = big - m1 * f.a - m2 * f.b;
        bank.add(Open, Equation, f.diff,
                 u"解方程：(%1)/%2 − (%3)/%4 = %5"_s.arg(xPlus(f.a), num(f.p), xPlus(-f.b), num(f.q), fs(r)),
                 u"去分母（两边同乘 %1），得 %2 − %3 = %4；去括号，得 %5 = %4；移项、合并同类项，得 %6 = %7%8。"_s.arg(num(l), times(m1, xPlus(f.a)), times(m2, xPlus(-f.b)), num(big),
                                            poly({{m1, u"x"_s}, {m1 * f.a, {}}, {-m2, u"x"_s}, {m2 * f.b, {}}}),
                                            poly({{m1 - m2, u"x"_s}}), num(rhs),
                                            m1 - m2 == 1 ? QString() : u"；系数化为 1，得 x = "_s + fs(fr(rhs, m1 - m2))));
    }
    const struct { int k, price, diff; } discount[] = {{8, 360, D1}, {9, 243, D2}};
    for (const auto &p : discount)
        bank.add(Open, Equation, p.diff, u"某商品按标价打%1折出售，售价为 %2 元，求这件商品的标价。"_s.arg(
                                             QString::fromUtf16(kCnDigits[p.k]), num(p.price)),
                 u"设标价为 x 元，依题意得 0.%1x = %2，解得 x = %3。答：这件商品的标价是 %3 元。"_s.arg(
                     num(p.k), num(p.price), num(p.price * 10 / p.k)));
    const struct { int cost, up, k, diff; } profit[] = {{200, 40, 8, D4}, {150, 50, 8, D5}};
    for (const auto &p : profit) {
        const Frac factor = fr((100 + p.up) * p.k, 1000), gain = fr(p.cost) * (factor + fr(-1));
        bank.add(Open, Equation, p.diff,
                 u"某商店把一种商品按进价提高 %1% 后标价，又以%2折优惠卖出，结果每件仍获利 %3 元。这种商品每件的进价是多少元？"_s.arg(
                     num(p.up), QString::fromUtf16(kCnDigits[p.k]), fs(gain)),
                 u"设每件进价为 x 元，依题意得 (1 + %1%) × 0.%2x − x = %3，即 %4x − x = %3，%5x = %3，解得 x = %6。"
                 "答：每件进价是 %6 元。"_s.arg(num(p.up), num(p.k), fs(gain), dec(factor), dec(factor + fr(-1)), num(p.cost)));
    }
    const struct { int dist, v1, v2, diff; } meet[] = {{36, 5, 4, D2}, {45, 6, 9, D3}};
    for (const auto &p : meet)
        bank.add(Open, Equation, p.diff,
                 u"甲、乙两人分别从相距 %1 千米的 A、B 两地同时出发相向而行，甲每小时走 %2 千米，乙每小时走 %3 千米，经过几小时两人相遇？"_s.arg(
                     num(p.dist), num(p.v1), num(p.v2)),
                 u"设经过 x 小时两人相遇，依题意得 %2x + %3x = %1，即 %4x = %1，解得 x = %5。答：经过 %5 小时两人相遇。"_s.arg(
                     num(p.dist), num(p.v1), num(p.v2), num(p.v1 + p.v2), fs(fr(p.dist, p.v1 + p.v2))));
    const struct { int a, b, diff; } work[] = {{10, 15, D3}, {12, 24, D4}};
    for (const auto &p : work) {
        const int l = std::lcm(p.a, p.b);
        bank.add(Open, Equation, p.diff,
                 u"一项工程，甲队单独做需要 %1 天完成，乙队单独做需要 %2 天完成。若两队合作，需要多少天完成？"_s.arg(num(p.a), num(p.b)),
                 u"设两队合作需要 x 天完成，依题意得 x/%1 + x/%2 = 1，两边同乘 %3，得 %4 = %3，解得 x = %5。答：两队合作需要 %5 天完成。"_s.arg(
                     num(p.a), num(p.b), num(l), poly({{l / p.a, u"x"_s}, {l / p.b, u"x"_s}}), fs(fr(l, l / p.a + l / p.b))));
    }

    // --- 几何图形初步 ---
    for (const auto &[k, diff] : {std::pair{3, D3}, {4, D4}, {7, D4}})
        bank.add(Open, Geometry, diff, u"一个角的补角是它的余角的 %1 倍，求这个角的度数。"_s.arg(k),
                 u"设这个角为 x°，则它的余角为 (90 − x)°，补角为 (180 − x)°。依题意得 180 − x = %1(90 − x)，"
                 "即 %2x = %3，解得 x = %4。答：这个角是 %4°。"_s.arg(num(k), num(k - 1), num(90 * k - 180), fs(fr(90 * k - 180, k - 1))));
    for (const auto &[ab, ac, diff] : {std::tuple{10, 4, D2}, {14, 5, D3}})
        bank.add(Open, Geometry, diff,
                 u"点 C 在线段 AB 上，AB = %1 cm，AC = %2 cm，点 M、N 分别是 AC、BC 的中点，求线段 MN 的长。"_s.arg(ab).arg(ac),
                 u"BC = AB − AC = %1 cm，MC = AC ÷ 2 = %2 cm，CN = BC ÷ 2 = %3 cm，所以 MN = MC + CN = %4 cm。"_s.arg(
                     num(ab - ac), dec(fr(ac, 2)), dec(fr(ab - ac, 2)), dec(fr(ab, 2))));
    for (const auto &[ab, bc, diff] : {std::tuple{10, 4, D5}, {12, 6, D4}}) {
        const QString mb = dec(fr(ab, 2)), nb = dec(fr(bc, 2));
        bank.add(Open, Geometry, diff,
                 u"已知线段 AB = %1 cm，点 C 在直线 AB 上，且 BC = %2 cm，点 M、N 分别是 AB、BC 的中点，求线段 MN 的长。"_s.arg(ab).arg(bc),
                 u"分两种情况：①点 C 在线段 AB 上时，MN = MB − NB = %1 − %2 = %3 (cm)；②点 C 在线段 AB 的延长线上时，"
                 "MN = MB + NB = %1 + %2 = %4 (cm)。所以 MN 的长为 %3 cm 或 %4 cm。"_s.arg(
                     mb, nb, dec(fr(ab - bc, 2)), dec(fr(ab + bc, 2))));
    }
    bank.add(Open, Geometry, D1, u"一个梯形的上底是 3 cm，下底是 7 cm，高是 4 cm，求这个梯形的面积。"_s,
             u"S = (上底 + 下底) × 高 ÷ 2 = (3 + 7) × 4 ÷ 2 = %1 (cm²)。"_s.arg((3 + 7) * 4 / 2));
    bank.add(Open, Geometry, D2, u"一个圆形花坛的半径是 5 米，求它的周长和面积（结果保留 π）。"_s,
             u"周长 C = 2πr = 2 × π × 5 = %1π (米)；面积 S = πr² = π × 5² = %2π (平方米)。"_s.arg(2 * 5).arg(5 * 5));
    bank.add(Open, Geometry, D2, u"一个长方体的长、宽、高分别是 5 cm、4 cm、3 cm，求它的表面积和体积。"_s,
             u"表面积 = 2 × (5×4 + 5×3 + 4×3) = %1 (cm²)；体积 = 5 × 4 × 3 = %2 (cm³)。"_s.arg(2 * (20 + 15 + 12)).arg(5 * 4 * 3));
    for (const auto &[h, m, diff] : {std::tuple{3, 40, D4}, {9, 20, D4}}) {
        QString result;
        const QString work2 = clockWork(h, m, &result);
        bank.add(Open, Geometry, diff, u"钟表上 %1 时 %2 分，时针与分针所成的较小的角是多少度？"_s.arg(h).arg(m), work2);
    }

    // --- 数据的收集、整理与描述 ---
    const struct { const char16_t *intro; QVector<int> data; int diff; } sets[] = {
        {u"某小组 8 名同学一次数学测验的成绩（单位：分）如下：", {85, 92, 78, 92, 88, 95, 70, 92}, D3},
        {u"某射击运动员 10 次射击的成绩（单位：环）如下：", {7, 9, 6, 8, 10, 8, 5, 8, 9, 10}, D2},
    };
    for (const auto &p : sets) {
        const Stats s = stats(p.data);
        bank.add(Open, Data, p.diff, QString::fromUtf16(p.intro) + joinNums(p.data) + u"。求这组数据的平均数、中位数和众数。"_s,
                 u"平均数 = %1 ÷ %2 = %3；把数据从小到大排列为 %4，中位数是 %5；%6 出现的次数最多，众数是 %6。"_s.arg(
                     num(std::accumulate(p.data.begin(), p.data.end(), 0)), num(p.data.size()), s.mean, s.sorted, s.median, s.mode));
    }
    bank.add(Open, Data, D2,
             u"某校为了解学生最喜爱的球类运动，随机调查了 200 名学生，其中最喜爱篮球的有 50 人。在扇形统计图中，表示“篮球”的扇形的圆心角是多少度？"_s,
             u"最喜爱篮球的人数占 50 ÷ 200 = %1%，圆心角为 360° × %1% = %2°。"_s.arg(dec(fr(50 * 100, 200)), dec(fr(50 * 360, 200))));

    // --- 填空题 ---
    for (const auto &[n, d, diff] : {std::tuple{-3, 1, D1}, {2, 5, D2}, {-7, 4, D3}}) {
        const Frac f = fr(n, d);
        bank.add(Fill, Rational, diff, u"%1 的相反数是____，绝对值是____，倒数是____。"_s.arg(fs(f)),
                 u"相反数是 %1，绝对值是 %2，倒数是 %3。"_s.arg(fs(fr(-n, d)), fs(fr(std::abs(n), d)), fs(fr(d, n))));
    }
    for (const auto &[a, b, diff] : {std::tuple{-3, 5, D1}, {-7, -2, D2}})
        bank.add(Fill, Rational, diff, u"数轴上表示 %1 和 %2 的两个点之间的距离是____。"_s.arg(num(a), num(b)),
                 u"%1。距离等于两数之差的绝对值：|%2 − %3| = %1。"_s.arg(num(std::abs(a - b)), num(a), par(b)));
    for (const auto &[value, diff] : {std::pair{3800000LL, D1}, {250000000LL, D2}, {60700LL, D3}}) {
        const QString digits = QString::number(value);
        QString rest = digits.mid(1);
        while (rest.endsWith(u'0')) rest.chop(1);
        const QString mant = rest.isEmpty() ? digits.left(1) : digits.left(1) + u"."_s + rest;
        bank.add(Fill, Rational, diff, u"将 %1 用科学记数法表示为____。"_s.arg(digits),
                 u"%1 × 10%2。科学记数法写成 a × 10ⁿ 的形式，其中 1 ≤ a < 10，n 等于原数整数位数减 1。"_s.arg(mant, sup(digits.size() - 1)));
    }
    for (const auto &[c, ex, ey, diff] : {std::tuple{-3, 2, 1, D1}, {5, 1, 3, D2}, {-1, 3, 2, D3}})
        bank.add(Fill, Poly, diff, u"单项式 %1 的系数是____，次数是____。"_s.arg(poly({{c, power(u"x"_s, ex) + power(u"y"_s, ey)}})),
                 u"系数是 %1，次数是 %2（所有字母的指数之和 %3 + %4）。"_s.arg(num(c), num(ex + ey), num(ex), num(ey)));
    for (const auto &[a, b, c, x, diff] : {std::tuple{3, 1, 2, 2, D2}, {2, 5, -4, -3, D3}}) {
        const int m = a * x - b * x - c;
        bank.add(Fill, Equation, diff,
                 u"若 x = %1 是关于 x 的方程 %2 = %3 的解，则 m = ____。"_s.arg(num(x), poly({{a, u"x"_s}, {-1, u"m"_s}}), poly({{b, u"x"_s}, {c, {}}})),
                 u"%1。把 x = %2 代入方程，得 %3 − m = %4，解得 m = %1。"_s.arg(num(m), num(x), num(a * x), num(b * x + c)));
    }
    for (const auto &[price, k, diff] : {std::tuple{160, 8, D1}, {250, 7, D2}})
        bank.add(Fill, Equation, diff, u"一件标价为 %1 元的衬衫打%2折出售，实际售价是____元。"_s.arg(num(price), QString::fromUtf16(kCnDigits[k])),
                 u"%1。售价 = %2 × 0.%3 = %1（元）。"_s.arg(dec(fr(price * k, 10)), num(price), num(k)));
    for (const auto &[cost, sale, diff] : {std::tuple{80, 100, D3}, {200, 260, D4}})
        bank.add(Fill, Equation, diff, u"某商品的进价为 %1 元，售价为 %2 元，则该商品的利润率是____。"_s.arg(cost).arg(sale),
                 u"%1%。利润率 = (售价 − 进价) ÷ 进价 × 100% = (%2 − %3) ÷ %3 × 100% = %1%。"_s.arg(
                     dec(fr((sale - cost) * 100, cost)), num(sale), num(cost)));
    for (const auto &[deg, min, diff] : {std::tuple{65, 0, D1}, {38, 24, D3}, {72, 45, D4}}) {
        const int t = deg * 60 + min;
        bank.add(Fill, Geometry, diff, u"已知 ∠α = %1，则 ∠α 的余角是____，补角是____。"_s.arg(angle(t)),
                 u"余角是 90° − %1 = %2，补角是 180° − %1 = %3。（1° = 60′）"_s.arg(angle(t), angle(90 * 60 - t), angle(180 * 60 - t)));
    }
    bank.add(Fill, Geometry, D1, u"一个长方形的长为 8 cm，宽为 5 cm，它的周长是____cm，面积是____cm²。"_s,
             u"周长 = (8 + 5) × 2 = %1 cm，面积 = 8 × 5 = %2 cm²。"_s.arg((8 + 5) * 2).arg(8 * 5));
    bank.add(Fill, Geometry, D2, u"一个圆的半径为 3 cm，它的周长是____cm，面积是____cm²（结果保留 π）。"_s,
             u"周长 C = 2πr = %1π cm，面积 S = πr² = %2π cm²。"_s.arg(2 * 3).arg(3 * 3));
    for (const auto &[h, m, diff] : {std::tuple{3, 0, D1}, {8, 0, D2}, {2, 15, D4}}) {
        QString result;
        const QString work2 = clockWork(h, m, &result);
        const QString when = m ? u"%1 时 %2 分"_s.arg(h).arg(m) : u"%1 时整"_s.arg(h);
        bank.add(Fill, Geometry, diff, u"钟表上 %1，时针与分针所成的较小的角是____度。"_s.arg(when), result + u"。"_s + work2);
    }
    for (const auto &[data, diff] : {std::pair{QVector<int>{3, 5, 2, 5, 7, 4, 5}, D1}, {QVector<int>{12, 15, 11, 15, 18, 10}, D3},
                                     {QVector<int>{9, 7, 8, 7, 10, 7, 9, 8}, D2}}) {
        const Stats s = stats(data);
        bank.add(Fill, Data, diff, u"一组数据 %1 的中位数是____，众数是____。"_s.arg(joinNums(data)),
                 u"中位数是 %1，众数是 %2。从小到大排列为 %3，取最中间的数（或中间两个数的平均数）。"_s.arg(s.median, s.mode, s.sorted));
    }
    {
        const QVector<int> data{4, 6, 8, 10, 12};
        bank.add(Fill, Data, D1, u"一组数据 %1 的平均数是____。"_s.arg(joinNums(data)),
                 u"%1。(4 + 6 + 8 + 10 + 12) ÷ 5 = %1。"_s.arg(stats(data).mean));
    }
    bank.add(Fill, Data, D4,
             u"在一次调查中共调查了 160 名学生，其中最喜欢乒乓球的有 36 人，则在扇形统计图中表示“乒乓球”的扇形的圆心角是____度。"_s,
             u"%1。36 ÷ 160 = %2%，360° × %2% = %1°。"_s.arg(dec(fr(36 * 360, 160)), dec(fr(3600, 160))));

    // --- 判断题 ---
    for (const auto &[a, b, c, x, diff] : {std::tuple{3, -1, 5, 2, D1}, {4, 3, -5, -2, D2}, {5, -2, 12, 3, D2}}) {
        const int left = a * x + b;
        const QString eq = poly({{a, u"x"_s}, {b, {}}}) + u" = "_s + num(c);
        const QString sub = u"把 x = %1 代入，左边 = %2 × %3 %4 = %5"_s.arg(
            num(x), num(a), par(x), b < 0 ? u"− "_s + num(-b) : u"+ "_s + num(b), num(left));
        bank.add(Judge, Equation, diff, u"x = %1 是方程 %2 的解。"_s.arg(num(x), eq),
                 left == c ? u"正确。%1 = 右边。"_s.arg(sub) : u"错误。%1，右边 = %2，左边 ≠ 右边。"_s.arg(sub, num(c)));
    }

    // --- 选择题 ---
    for (const auto &[a, b, c, diff] : {std::tuple{2, 3, 11, D1}, {3, -4, -13, D2}, {-2, 5, -3, D3}}) {
        const int x = (c - b) / a;
        auto opt = [](i64 v) { return u"x = "_s + num(v); };
        bank.addChoice(Equation, diff, u"方程 %1 = %2 的解是（　）"_s.arg(poly({{a, u"x"_s}, {b, {}}}), num(c)),
                       options(opt(x), {opt(-x), opt(x + 1), opt(x - 1), opt(x + 2)}),
                       u"移项得 %1 = %2，系数化为 1 得 x = %3。"_s.arg(poly({{a, u"x"_s}}), num(c - b), num(x)));
    }
    for (const auto &[a, b, product, diff] : {std::tuple{2, -3, false, D4}, {4, -2, true, D4}}) {
        const QString ask = product ? u"ab"_s : u"a + b"_s;
        const QStringList values = product ? QStringList{num(a * b), num(-a * b), num(a + b), num(a - b)}
                                           : QStringList{num(a + b), num(a - b), num(b - a), num(-a - b)};
        bank.addChoice(Rational, diff,
                       u"若 |%1| + (%2)² = 0，则 %3 的值是（　）"_s.arg(poly({{1, u"a"_s}, {-a, {}}}), poly({{1, u"b"_s}, {-b, {}}}), ask),
                       options(values[0], values.mid(1)),
                       u"绝对值和平方都是非负数，它们的和为 0，只能都为 0，所以 a = %1，b = %2，%3 = %4。"_s.arg(num(a), num(b), ask, values[0]));
    }
    bank.addChoice(Rational, D1, u"用科学记数法表示 1230000，正确的是（　）"_s,
                   {u"1.23 × 10⁶"_s, u"1.23 × 10⁵"_s, u"12.3 × 10⁵"_s, u"0.123 × 10⁷"_s},
                   u"1230000 = 1.23 × 10⁶，a 须满足 1 ≤ a < 10。"_s);

    static const Row rows[] = {
        {Choice, Rational, D3, u"下列各数中，是负数的是（　）\nA. −(−3)\nB. |−3|\nC. (−3)²\nD. −3²",
         u"答案：D。−3² = −9 是负数；−(−3) = 3，|−3| = 3，(−3)² = 9 都是正数。"},
        {Choice, Poly, D2, u"下列计算正确的是（　）\nA. 3a + 2b = 5ab\nB. 5y² − 2y² = 3\nC. 4x²y − 5yx² = −x²y\nD. 3a² + 2a³ = 5a⁵",
         u"答案：C。4x²y 与 −5yx² 是同类项，合并得 −x²y；A、D 不是同类项，不能合并；B 应为 3y²。"},
        {Choice, Geometry, D1, u"下列说法中，正确的是（　）\nA. 两点之间，直线最短\nB. 两点之间，线段最短\nC. 过一点只能画一条直线\nD. 射线比直线短",
         u"答案：B。连接两点的所有线中线段最短；过一点可以画无数条直线；射线和直线都无限延伸，不能比较长短。"},
        {Choice, Data, D2, u"下列调查中，适合采用全面调查（普查）的是（　）\nA. 了解全国中学生的视力情况\nB. 检测一批灯泡的使用寿命\nC. 了解某班同学的身高情况\nD. 了解长江的水质情况",
         u"答案：C。一个班人数少，便于逐一调查；A、D 范围太大，B 具有破坏性，都适合抽样调查。"},
        {Choice, Geometry, D3, u"一个锐角的补角比它的余角大（　）\nA. 45°\nB. 90°\nC. 180°\nD. 无法确定",
         u"答案：B。设这个角为 x°，则 (180 − x) − (90 − x) = 90，所以补角总比余角大 90°。"},
        {Choice, Equation, D1, u"下列方程中，是一元一次方程的是（　）\nA. x + y = 3\nB. x² − 1 = 0\nC. 2x − 1 = 5\nD. 1/x = 2",
         u"答案：C。A 含两个未知数，B 中未知数的次数是 2，D 的分母含未知数，都不是一元一次方程。"},
        {Choice, Data, D4, u"已知一组数据 x₁, x₂, …, xₙ 的平均数是 m，则数据 x₁ + 3, x₂ + 3, …, xₙ + 3 的平均数是（　）\nA. m\nB. m + 3\nC. 3m\nD. m + 3n",
         u"答案：B。新数据的和等于原数据的和加上 3n，再除以 n，平均数为 m + 3。"},
        {Choice, Rational, D5, u"若 a、b 互为相反数，c、d 互为倒数，m 的绝对值是 2，则 (a + b)/m − cd + m² 的值是（　）\nA. 3\nB. 5\nC. −3\nD. 3 或 −3",
         u"答案：A。a + b = 0，cd = 1，m² = 4，所以原式 = 0 − 1 + 4 = 3。"},
        {Fill, Poly, D4, u"单项式 −2πx²y/3 的系数是____，次数是____。",
         u"系数是 −2π/3，次数是 3。π 是常数而不是字母，次数只算 x、y 的指数之和 2 + 1 = 3。"},
        {Fill, Rational, D2, u"若 |x| = 5，则 x = ____；若 x² = 9，则 x = ____。",
         u"±5；±3。绝对值为 5 的数是 5 和 −5，平方为 9 的数是 3 和 −3。"},
        {Judge, Rational, D1, u"有理数 0 既不是正数，也不是负数。", u"正确。0 是正数与负数的分界。"},
        {Judge, Rational, D2, u"一个数的绝对值等于它本身，这个数一定是正数。", u"错误。0 的绝对值也等于它本身，这样的数是非负数（正数和 0）。"},
        {Judge, Rational, D3, u"任何一个有理数的平方一定都是正数。", u"错误。0 的平方是 0，不是正数；有理数的平方是非负数。"},
        {Judge, Rational, D5, u"若 a > b，则一定有 a² > b²。", u"错误。例如 a = 1，b = −2 时 a > b，但 a² = 1 < b² = 4。"},
        {Judge, Poly, D1, u"多项式 3x² − 2x + 1 是二次三项式。", u"正确。它有三项，次数最高的项 3x² 的次数是 2。"},
        {Judge, Poly, D2, u"单项式 −xy² 的系数是 −1，次数是 3。", u"正确。−xy² 的数字因数是 −1，各字母的指数之和为 1 + 2 = 3。"},
        {Judge, Poly, D5, u"两个三次多项式的和一定是三次多项式。", u"错误。三次项可能抵消，例如 (x³ + 1) + (−x³ + x) = x + 1，是一次多项式。"},
        {Judge, Equation, D3, u"等式两边同时除以同一个数，所得结果仍是等式。", u"错误。除数不能为 0，应为等式两边同时除以同一个不为 0 的数，结果仍是等式。"},
        {Judge, Equation, D3, u"方程 2x − 3 = 5 与方程 x − 4 = 0 的解相同。", u"正确。由 2x − 3 = 5 得 2x = 8，x = 4；由 x − 4 = 0 也得 x = 4。"},
        {Judge, Geometry, D4, u"由任意两条射线组成的图形都叫做角。", u"错误。角是由两条有公共端点的射线组成的图形，缺少“公共端点”这一条件。"},
        {Judge, Geometry, D4, u"如果两个角互补，那么这两个角中必有一个是钝角。", u"错误。两个直角也互补，例如 90° 与 90°。"},
        {Judge, Data, D2, u"扇形统计图能清楚地表示出各部分在总体中所占的百分比。", u"正确。扇形统计图用各扇形的大小表示各部分占总体的百分比。"},
        {Judge, Data, D5, u"一组数据的中位数一定是这组数据中的某一个数。",
         u"错误。数据个数为偶数时，中位数是中间两个数的平均数，可能不在数据中，如 1, 2, 3, 4 的中位数是 2.5。"},
    };
    bank.addRows(rows);
    return bank.take();
}

// =====================================================================================
// 语文
// =====================================================================================

DemoSubject chinese()
{
    enum { Poem, Classic, Words, Literature, Usage };
    Bank bank(u"语文"_s, {u"选择题"_s, u"填空题"_s, u"判断题"_s, u"简答题"_s},
              {u"古诗词"_s, u"文言文"_s, u"字词与成语"_s, u"文学常识"_s, u"语言运用"_s});
    static const Row rows[] = {
        // 填空题
        {Fill, Poem, D1, u"补写出李白《静夜思》中的诗句：床前明月光，________。", u"疑是地上霜。"},
        {Fill, Poem, D1, u"补写出王之涣《登鹳雀楼》中的诗句：白日依山尽，________。欲穷千里目，________。", u"黄河入海流；更上一层楼。"},
        {Fill, Poem, D2, u"补写出杜甫《春望》中的诗句：国破山河在，________。", u"城春草木深。"},
        {Fill, Poem, D3, u"补写出王湾《次北固山下》中的诗句：________，江春入旧年。", u"海日生残夜。"},
        {Fill, Poem, D2, u"补写出苏轼《水调歌头·明月几时有》中的词句：但愿人长久，________。", u"千里共婵娟。"},
        {Fill, Poem, D3, u"补写出李商隐《无题》中的诗句：春蚕到死丝方尽，________。", u"蜡炬成灰泪始干。"},
        {Fill, Poem, D3, u"补写出陆游《游山西村》中的诗句：山重水复疑无路，________。", u"柳暗花明又一村。"},
        {Fill, Poem, D4, u"补写出《木兰诗》中的诗句：万里赴戎机，关山度若飞。________，________。", u"朔气传金柝；寒光照铁衣。"},
        {Fill, Poem, D5, u"补写出曹操《观沧海》中的诗句：日月之行，若出其中；________，________。", u"星汉灿烂；若出其里。"},
        {Fill, Classic, D1, u"补写出《论语》中的句子：学而时习之，________？有朋自远方来，________？", u"不亦说乎；不亦乐乎。"},
        {Fill, Classic, D2, u"补写出范仲淹《岳阳楼记》中的名句：先天下之忧而忧，________。", u"后天下之乐而乐。"},
        {Fill, Classic, D2, u"补写出刘禹锡《陋室铭》的开头：山不在高，________。水不在深，________。", u"有仙则名；有龙则灵。"},
        {Fill, Classic, D3, u"补写出《论语》中的句子：三人行，必有我师焉。________，其不善者而改之。", u"择其善者而从之。"},
        {Fill, Classic, D5, u"补写出诸葛亮《出师表》中的句子：受任于败军之际，________。", u"奉命于危难之间。"},
        {Fill, Words, D1, u"补全下列成语：画蛇添____、守株待____、亡羊补____、刻舟求____。", u"足、兔、牢、剑。"},
        {Fill, Literature, D3, u"鲁迅原名________，他的散文集《朝花夕拾》原名《________》。", u"周树人；旧事重提。"},
        {Fill, Literature, D2, u"“四大名著”中，《西游记》的作者是________，《三国演义》的作者是________。", u"吴承恩；罗贯中。"},
        // 选择题
        {Choice, Words, D3, u"下列词语中，没有错别字的一项是（　）\nA. 迫不急待\nB. 再接再厉\nC. 一股作气\nD. 穿流不息",
         u"答案：B。A 应为“迫不及待”，C 应为“一鼓作气”，D 应为“川流不息”。"},
        {Choice, Words, D1, u"成语“胸有成竹”的意思是（　）\nA. 做事之前已有通盘的考虑和把握\nB. 心里装着一片竹林\nC. 心中充满了怨气\nD. 对事情毫无准备",
         u"答案：A。原指画竹之前心中已有竹子的完整形象，比喻做事前已有成熟的打算。"},
        {Choice, Literature, D1, u"《岳阳楼记》的作者是（　）\nA. 欧阳修\nB. 范仲淹\nC. 苏轼\nD. 王安石",
         u"答案：B。《岳阳楼记》是北宋范仲淹应好友滕子京之请所作。"},
        {Choice, Literature, D2, u"下列作品与作者对应有误的一项是（　）\nA. 《背影》——朱自清\nB. 《骆驼祥子》——老舍\nC. 《边城》——沈从文\nD. 《呐喊》——巴金",
         u"答案：D。《呐喊》是鲁迅的小说集；巴金的代表作有《家》《春》《秋》。"},
        {Choice, Literature, D3, u"下列人物中，不属于“唐宋八大家”的是（　）\nA. 韩愈\nB. 柳宗元\nC. 李白\nD. 苏洵",
         u"答案：C。唐宋八大家是韩愈、柳宗元、欧阳修、苏洵、苏轼、苏辙、王安石、曾巩；李白是唐代诗人。"},
        {Choice, Usage, D1, u"“小草偷偷地从土里钻出来”一句运用的修辞手法是（　）\nA. 比喻\nB. 拟人\nC. 夸张\nD. 排比",
         u"答案：B。“偷偷地”“钻”赋予小草人的动作和情态，属于拟人。"},
        {Choice, Usage, D4, u"下列句子中，没有语病的一项是（　）\nA. 通过这次活动，使我们增长了见识。\nB. 我们要尽可能节约不必要的开支。\nC. 经过努力，他的写作水平明显提高了。\nD. 能否保持身体健康，关键在于坚持锻炼。",
         u"答案：C。A 缺主语；B 不合逻辑，不必要的开支应当避免而不是节约；D 前后不对应，“能否”是两面，“坚持锻炼”是一面。"},
        {Choice, Classic, D2, u"“学而时习之”中“时”的意思是（　）\nA. 时间\nB. 按时，适时\nC. 时代\nD. 有时",
         u"答案：B。“时”在这里作状语，意为按时、在适当的时候。"},
        {Choice, Classic, D3, u"“温故而知新”中“故”的意思是（　）\nA. 所以\nB. 旧的知识\nC. 故意\nD. 缘故",
         u"答案：B。“温故而知新”指温习学过的知识，从而获得新的理解和体会。"},
        {Choice, Poem, D3, u"下列诗句中，描写秋天景色的是（　）\nA. 接天莲叶无穷碧，映日荷花别样红\nB. 停车坐爱枫林晚，霜叶红于二月花\nC. 竹外桃花三两枝，春江水暖鸭先知\nD. 春眠不觉晓，处处闻啼鸟",
         u"答案：B。杜牧《山行》写经霜的枫叶，是秋景；A 写夏日西湖，C、D 写春景。"},
        {Choice, Poem, D2, u"“但愿人长久，千里共婵娟”中“婵娟”指的是（　）\nA. 美女\nB. 月亮\nC. 嫦娥\nD. 亲人",
         u"答案：B。“婵娟”原指姿态美好，这里代指明月，意为相隔千里也能共赏一轮明月。"},
        {Choice, Poem, D4, u"下列诗句与作者对应正确的一项是（　）\nA. 大漠孤烟直，长河落日圆——王维\nB. 会当凌绝顶，一览众山小——李白\nC. 春风又绿江南岸，明月何时照我还——杜牧\nD. 人生自古谁无死，留取丹心照汗青——陆游",
         u"答案：A。B 出自杜甫《望岳》，C 出自王安石《泊船瓜洲》，D 出自文天祥《过零丁洋》。"},
        {Choice, Classic, D5, u"下列《桃花源记》的句子中，引号内的词古今意义基本相同的一项是（　）\nA. 率“妻子”邑人来此绝境\nB. 阡陌“交通”\nC. “土地”平旷\nD. 乃不知有汉，“无论”魏晋",
         u"答案：C。A 古义为妻子和儿女，B 古义为交错相通，D 古义为更不必说，均与今义不同。"},
        {Choice, Classic, D4, u"“不以物喜，不以己悲”出自哪篇文章？其意思是（　）\nA. 《醉翁亭记》，不因景物美好而高兴\nB. 《岳阳楼记》，不因外物的好坏和自己的得失而或喜或悲\nC. 《岳阳楼记》，不因为得到东西而高兴\nD. 《桃花源记》，不因外界变化而改变心情",
         u"答案：B。此句出自范仲淹《岳阳楼记》，写古仁人不因外物好坏和个人得失而或喜或悲的胸怀。"},
        // 判断题
        {Judge, Literature, D1, u"古典长篇小说《红楼梦》的作者是罗贯中。", u"错误。《红楼梦》的作者是曹雪芹（后四十回一般认为由高鹗续写），罗贯中著有《三国演义》。"},
        {Judge, Literature, D1, u"古典长篇小说《水浒传》的作者一般认为是施耐庵。", u"正确。《水浒传》通常署名施耐庵，是以北宋末年宋江起义为题材的长篇章回小说。"},
        {Judge, Literature, D4, u"鲁迅的《狂人日记》是我国现代文学史上第一篇白话小说。", u"正确。《狂人日记》发表于 1918 年，一般被认为是中国现代文学史上第一篇白话小说。"},
        {Judge, Poem, D2, u"“春眠不觉晓，处处闻啼鸟”出自孟浩然的《春晓》。", u"正确。这是唐代诗人孟浩然《春晓》的前两句。"},
        {Judge, Poem, D3, u"“欲把西湖比西子，淡妆浓抹总相宜”是杜甫的诗句。", u"错误。这两句出自北宋苏轼的《饮湖上初晴后雨》。"},
        {Judge, Poem, D5, u"“稻花香里说丰年，听取蛙声一片”出自辛弃疾的《西江月·夜行黄沙道中》，描写的是夏夜的乡村景色。",
         u"正确。词中写明月、惊鹊、鸣蝉、稻花与蛙声，描绘了夏夜山村的丰收景象。"},
        {Judge, Words, D2, u"成语“不耻下问”的意思是不以向地位、学问不如自己的人请教为耻。", u"正确。该成语出自《论语》，形容虚心好学。"},
        {Judge, Words, D4, u"成语“差强人意”的意思是很不能让人满意。", u"错误。“差”是“稍微、大体”的意思，“差强人意”指大体上还能使人满意。"},
        {Judge, Words, D5, u"“七月流火”的本义是形容农历七月天气炎热。",
         u"错误。语出《诗经·豳风·七月》，指农历七月大火星向西下行，天气渐渐转凉，并非形容炎热。"},
        {Judge, Usage, D1, u"“他的脸红得像熟透的苹果”一句运用了比喻的修辞手法。", u"正确。用“熟透的苹果”比喻脸红的样子，本体、喻词、喻体齐全。"},
        {Judge, Usage, D2, u"“通过这次学习，使我明白了很多道理。”这个句子没有语病。", u"错误。“通过……使……”造成句子缺少主语，应删去“通过”或“使”。"},
        {Judge, Usage, D3, u"“难道我们不应该爱护环境吗？”是一个设问句。", u"错误。这是反问句，用疑问的形式表达肯定的意思；设问是自问自答。"},
        {Judge, Classic, D3, u"《论语》是孔子的弟子及再传弟子记录孔子及其弟子言行的书。", u"正确。《论语》是儒家经典，以语录体为主记录孔子及其弟子的言行。"},
        {Judge, Classic, D4, u"《出师表》是诸葛亮出师北伐前写给刘备的奏表。", u"错误。《出师表》是诸葛亮写给后主刘禅的，当时刘备已经去世。"},
        // 简答题
        {Open, Words, D2, u"请解释成语“守株待兔”的意思，并说说它告诉我们什么道理。",
         u"故事出自《韩非子》：宋国农夫见兔子撞树而死，便放下农具守在树旁等兔子。比喻死守狭隘经验、不知变通，或妄想不劳而获。道理：做事要靠主动努力，不能心存侥幸。"},
        {Open, Classic, D3, u"《岳阳楼记》中“先天下之忧而忧，后天下之乐而乐”表达了作者怎样的思想感情？",
         u"在天下人忧虑之前先忧虑，在天下人快乐之后才快乐。表达了作者以天下为己任、把国家和人民的利益放在首位的政治抱负和博大胸怀。"},
        {Open, Literature, D4, u"朱自清的《背影》中，作者几次写到父亲的背影？哪一次描写最为细致？这样写表达了怎样的感情？",
         u"共四次：开头点题、车站买橘子时、父亲离去混入人群时、结尾读信后在泪光中浮现。买橘子时爬月台的背影写得最细致，通过“探”“攀”“缩”等动作表现父亲对儿子深沉的爱，也表达了作者对父亲的感激与思念。"},
        {Open, Literature, D2, u"请写出我国古典“四大名著”的书名及其作者。",
         u"《三国演义》——罗贯中；《水浒传》——施耐庵；《西游记》——吴承恩；《红楼梦》——曹雪芹（后四十回一般认为由高鹗续写）。"},
        {Open, Usage, D1, u"什么是拟人的修辞手法？请写出一个运用拟人的句子。",
         u"拟人是把事物当作人来写，赋予它人的动作、语言或情感。例句：春风轻轻地抚摸着孩子们的脸庞。（答案不唯一）"},
        {Open, Usage, D3, u"修改病句并说明理由：“我们要尽可能节约不必要的开支。”",
         u"改为“我们要尽可能减少不必要的开支”（或删去“不必要的”）。理由：不必要的开支应当减少或避免，说“节约”不合逻辑。"},
        {Open, Usage, D2, u"请用关联词“虽然……但是……”造一个句子，并说明这组关联词表示什么关系。",
         u"例句：虽然外面下着大雨，但是同学们仍然按时到校。（答案不唯一）“虽然……但是……”表示转折关系。"},
        {Open, Poem, D4, u"赏析杜甫《春夜喜雨》中“随风潜入夜，润物细无声”一句里“潜”字的妙处。",
         u"“潜”运用拟人手法，写出春雨趁着夜色悄悄降落的情态，突出春雨滋润万物而不求人知的特点，流露出诗人对及时好雨的喜爱和赞美。"},
        {Open, Poem, D3, u"李白《望庐山瀑布》中“飞流直下三千尺，疑是银河落九天”运用了哪些修辞手法？有什么表达效果？",
         u"运用了夸张和比喻。“三千尺”极言瀑布之高，“疑是银河落九天”把瀑布比作从天而降的银河，生动地写出瀑布的磅礴气势，表达了诗人对祖国山河的热爱。"},
        {Open, Poem, D5, u"王安石“春风又绿江南岸”中的“绿”字，据说曾先后改用“到”“过”“入”“满”等字，请说说用“绿”字好在哪里。",
         u"“绿”本是形容词，这里用作动词，意为“吹绿、使……变绿”。它既写出春风吹拂的动态，又展现出江南草木返青、一片新绿的色彩和生机，形象生动，也暗含诗人的思乡之情。"},
        {Open, Classic, D4, u"陶渊明在《桃花源记》中描绘了一个怎样的社会？表达了作者怎样的理想？",
         u"描绘了一个土地平旷、屋舍俨然，没有战乱和压迫，人人劳动、自给自足、和平安乐的社会。寄托了作者对理想社会的向往和对黑暗现实的不满。"},
        {Open, Classic, D5, u"解释《论语》中“学而不思则罔，思而不学则殆”的意思，并谈谈它对我们学习的启示。",
         u"意思：只学习而不思考，就会迷惑而无所得；只空想而不学习，就会疑惑而有害。启示：学习要把学与思结合起来，既要认真读书、积累知识，又要独立思考、消化理解。"},
    };
    bank.addRows(rows);
    return bank.take();
}

// =====================================================================================
// 计算机基础
// =====================================================================================

DemoSubject computing()
{
    enum { Hardware, Numbers, System, Network, Office };
    Bank bank(u"计算机基础"_s, {u"选择题"_s, u"填空题"_s, u"判断题"_s, u"简答题"_s},
              {u"计算机系统组成"_s, u"数制与编码"_s, u"操作系统"_s, u"计算机网络"_s, u"办公软件"_s});

    // --- 数制转换（生成） ---
    for (const auto &[value, diff] : {std::pair{13, D1}, {45, D2}, {100, D3}, {200, D4}}) {
        QStringList weights, powers;
        for (int bit = 7; bit >= 0; --bit)
            if (value & (1 << bit)) weights << QString::number(1 << bit), powers << u"2"_s + sup(bit);
        bank.add(Fill, Numbers, diff, u"将十进制数 %1 转换为二进制数，结果是____。"_s.arg(value),
                 u"%1。因为 %2 = %3 = %4，对应位写 1，其余位写 0。"_s.arg(
                     bin(value), QString::number(value), weights.join(u" + "_s), powers.join(u" + "_s)));
    }
    for (const auto &[value, diff] : {std::pair{0b101010, D1}, {0b11110000, D3}, {0b1100100, D2}}) {
        QStringList weights, powers;
        for (int bit = 7; bit >= 0; --bit)
            if (value & (1 << bit)) weights << QString::number(1 << bit), powers << u"2"_s + sup(bit);
        bank.add(Fill, Numbers, diff, u"二进制数 %1 转换为十进制数是____。"_s.arg(bin(value)),
                 u"%1。按权展开：%2 = %3 = %1。"_s.arg(QString::number(value), powers.join(u" + "_s), weights.join(u" + "_s)));
    }
    for (const auto &[value, diff] : {std::pair{255, D2}, {171, D3}, {1000, D4}}) {
        QStringList work;
        for (int x = value; x > 0; x /= 16) {
            const int r = x % 16;
            work << u"%1 ÷ 16 = %2 余 %3"_s.arg(x).arg(x / 16).arg(r < 10 ? QString::number(r) : u"%1（%2）"_s.arg(r).arg(hex(r)));
        }
        bank.add(Fill, Numbers, diff, u"将十进制数 %1 转换为十六进制数，结果是____。"_s.arg(value),
                 u"%1。用除 16 取余法：%2，把余数从后往前排列得 %1。"_s.arg(hex(value), work.join(u"，"_s)));
    }
    for (const auto &[value, diff] : {std::pair{0x2F, D2}, {0xA5, D3}, {0x7C, D3}}) {
        const int hi = value >> 4, lo = value & 0xF;
        bank.addChoice(Numbers, diff, u"十六进制数 %1 转换为二进制数是（　）"_s.arg(hex(value)),
                       options(bin(value), {bin((lo << 4) | hi), bin(value ^ 0x10), bin(value + 1), bin(value - 1)}),
                       u"每 1 位十六进制数对应 4 位二进制数：%1→%2，%3→%4，所以结果为 %2%4%5。"_s.arg(
                           hex(hi), bin(hi).rightJustified(4, u'0'), hex(lo), bin(lo).rightJustified(4, u'0'),
                           hi < 8 ? u"，去掉高位的 0 即 "_s + bin(value) : QString()));
    }
    for (const auto &[a, b, diff] : {std::tuple{11, 6, D2}, {13, 11, D4}})
        bank.addChoice(Numbers, diff, u"二进制数 %1 与 %2 相加的结果是（　）"_s.arg(bin(a), bin(b)),
                       options(bin(a + b), {bin(a ^ b), bin(a | b), bin(a + b + 1), bin(a + b - 1)}),
                       u"%1 即十进制 %2，%3 即十进制 %4，%2 + %4 = %5，转换为二进制是 %6（也可按“逢二进一”直接竖式相加）。"_s.arg(
                           bin(a), QString::number(a), bin(b), QString::number(b), QString::number(a + b), bin(a + b)));

    static const Row rows[] = {
        // 选择题
        {Choice, Hardware, D1, u"计算机中负责执行算术运算和逻辑运算的部件是（　）\nA. 控制器\nB. 运算器\nC. 存储器\nD. 输入设备",
         u"答案：B。运算器完成算术运算和逻辑运算，控制器负责指挥、协调各部件工作。"},
        {Choice, Hardware, D2, u"下列存储器中，断电后所存数据会丢失的是（　）\nA. ROM\nB. 硬盘\nC. RAM\nD. U 盘",
         u"答案：C。RAM（随机存取存储器）是易失性存储器，断电后数据丢失；其余三种都能长期保存数据。"},
        {Choice, Hardware, D3, u"现代计算机普遍采用冯·诺依曼体系结构，其核心思想是（　）\nA. 存储程序\nB. 采用电子管\nC. 多任务并发\nD. 图形用户界面",
         u"答案：A。“存储程序”原理：程序和数据以二进制形式存放在存储器中，由计算机自动逐条取出并执行。"},
        {Choice, Hardware, D1, u"下列设备中，属于输出设备的是（　）\nA. 键盘\nB. 鼠标\nC. 扫描仪\nD. 打印机",
         u"答案：D。打印机把计算机处理的结果输出到纸上；键盘、鼠标、扫描仪都是输入设备。"},
        {Choice, Numbers, D1, u"在计算机存储容量单位中，1 KB 等于（　）\nA. 1000 B\nB. 1024 B\nC. 1024 bit\nD. 8 bit",
         u"答案：B。1 KB = 2¹⁰ B = 1024 字节（Byte）。"},
        {Choice, Numbers, D4, u"已知大写字母“A”的 ASCII 码是十进制 65，则小写字母“a”的 ASCII 码是（　）\nA. 97\nB. 91\nC. 66\nD. 32",
         u"答案：A。ASCII 码中小写字母比对应的大写字母大 32，65 + 32 = 97。"},
        {Choice, System, D1, u"下列软件中，不属于操作系统的是（　）\nA. Windows\nB. Linux\nC. macOS\nD. Microsoft Word",
         u"答案：D。Word 是文字处理软件，属于应用软件；其余三项都是操作系统。"},
        {Choice, System, D2, u"在 Windows 中，复制所选内容的快捷键是（　）\nA. Ctrl+C\nB. Ctrl+V\nC. Ctrl+X\nD. Ctrl+Z",
         u"答案：A。Ctrl+V 为粘贴，Ctrl+X 为剪切，Ctrl+Z 为撤销。"},
        {Choice, System, D4, u"下列关于进程的说法中，错误的是（　）\nA. 进程是程序的一次执行过程\nB. 进程具有动态性，有创建和撤销的过程\nC. 一个程序只能对应一个进程\nD. 进程是系统进行资源分配的基本单位",
         u"答案：C。同一个程序可以多次运行，同时对应多个进程，例如同时打开两个记事本窗口。"},
        {Choice, Network, D3, u"IPv4 地址 192.168.1.10 属于（　）\nA. A 类地址\nB. B 类地址\nC. C 类地址\nD. D 类地址",
         u"答案：C。C 类地址的第一个字节为 192～223，192.168.x.x 是常用的 C 类私有地址段。"},
        {Choice, Network, D2, u"能够把域名解析为 IP 地址的服务是（　）\nA. DNS\nB. FTP\nC. HTTP\nD. SMTP",
         u"答案：A。DNS 即域名系统；FTP 用于文件传输，HTTP 用于网页传输，SMTP 用于发送电子邮件。"},
        {Choice, Network, D5, u"某网络的子网掩码为 255.255.255.192，则每个子网中可分配给主机的地址最多有（　）\nA. 62 个\nB. 64 个\nC. 126 个\nD. 254 个",
         u"答案：A。192 = 11000000，主机位只有 6 位，可用地址数为 2⁶ − 2 = 62（去掉网络地址和广播地址）。"},
        {Choice, Office, D2, u"在 Excel 中，计算 A1 到 A10 单元格数值平均值的公式是（　）\nA. =SUM(A1:A10)\nB. =AVERAGE(A1:A10)\nC. =MAX(A1:A10)\nD. =COUNT(A1:A10)",
         u"答案：B。AVERAGE 求平均值，SUM 求和，MAX 求最大值，COUNT 统计含数值的单元格个数。"},
        {Choice, Office, D3, u"在 Excel 公式 =$A$1+B1 中，$A$1 属于（　）\nA. 相对引用\nB. 绝对引用\nC. 混合引用\nD. 三维引用",
         u"答案：B。行号和列标前都加了“$”，复制公式时该引用保持不变，属于绝对引用。"},
        // 填空题
        {Fill, Hardware, D1, u"计算机硬件系统由运算器、控制器、存储器、________和________五大部分组成。", u"输入设备；输出设备。"},
        {Fill, Hardware, D2, u"CPU 的中文名称是________，它主要由运算器和________组成。", u"中央处理器；控制器。"},
        {Fill, Numbers, D1, u"在计算机中，1 个字节（Byte）由________个二进制位（bit）组成。", u"8。"},
        {Fill, Network, D3, u"HTTP 协议默认使用的端口号是________，HTTPS 协议默认使用的端口号是________。", u"80；443。"},
        {Fill, Network, D3, u"IPv4 地址由________位二进制数组成，IPv6 地址由________位二进制数组成。", u"32；128。"},
        {Fill, System, D2, u"在 Windows 中，剪切的快捷键是________，撤销上一步操作的快捷键是________。", u"Ctrl+X；Ctrl+Z。"},
        {Fill, System, D4, u"从资源管理的角度看，操作系统的主要功能包括处理机管理、存储器管理、________管理和________管理。", u"设备；文件。"},
        {Fill, Office, D1, u"在 Word 中编辑文档时，保存文档的快捷键是________。", u"Ctrl+S。"},
        {Fill, Office, D3, u"在 Excel 中，若 A1 = 3、A2 = 5、A3 = 7，则公式 =SUM(A1:A3)/COUNT(A1:A3) 的结果是________。",
         u"5。SUM 求和为 15，COUNT 统计个数为 3，15 ÷ 3 = 5。"},
        {Fill, Office, D4, u"在 Excel 中，C1 单元格的公式为 =A1+$B$1，将其复制到 C2 单元格后，C2 中的公式变为________。",
         u"=A2+$B$1。相对引用 A1 随位置变为 A2，绝对引用 $B$1 保持不变。"},
        // 判断题
        {Judge, Hardware, D1, u"内存（RAM）中的数据在计算机断电后仍然能够保存。", u"错误。RAM 是易失性存储器，断电后数据会丢失，需要长期保存的数据应存入硬盘等外存。"},
        {Judge, Hardware, D1, u"硬盘属于外存储器，可以长期保存数据。", u"正确。硬盘、U 盘、光盘等都属于外存储器，断电后数据不会丢失。"},
        {Judge, Numbers, D1, u"二进制数 1010 等于十进制数 10。", u"正确。1010 = 2³ + 2¹ = 8 + 2 = 10。"},
        {Judge, Numbers, D3, u"在计算机中，一个汉字通常只用一个字节来存储。",
         u"错误。一个字节最多只有 256 种编码，不足以表示汉字；GB2312 等编码中一个汉字占 2 个字节，UTF-8 中常用汉字一般占 3 个字节。"},
        {Judge, Numbers, D5, u"十六进制数 FF 与八进制数 377 表示的数值相等。", u"正确。FF = 15×16 + 15 = 255，377 = 3×64 + 7×8 + 7 = 255，二者相等。"},
        {Judge, System, D2, u"在 Windows 中，被删除到回收站中的文件还可以还原。", u"正确。在清空回收站之前，其中的文件都可以还原到原来的位置。"},
        {Judge, System, D3, u"Linux 是一种开放源代码的操作系统。", u"正确。Linux 内核以 GPL 许可证开源发布，常见发行版有 Debian、Ubuntu 等。"},
        {Judge, System, D4, u"在 Windows 中，按 Shift+Delete 删除的文件会先放入回收站。", u"错误。Shift+Delete 是永久删除，文件不经过回收站。"},
        {Judge, System, D5, u"使用虚拟内存可以让程序运行得比只使用物理内存时更快。",
         u"错误。虚拟内存用硬盘空间扩展可用内存，但硬盘读写速度远低于内存，频繁换页反而会使程序变慢。"},
        {Judge, Network, D2, u"计算机病毒是人为编制的、能够自我复制并破坏计算机功能或数据的程序。", u"正确。计算机病毒本质上是程序，具有传染性、隐蔽性和破坏性等特点。"},
        {Judge, Network, D2, u"通常所说的局域网，其英文缩写是 WAN。", u"错误。局域网的缩写是 LAN（Local Area Network），WAN 指广域网。"},
        {Judge, Network, D3, u"使用 HTTP 协议传输的网页数据默认是加密的。", u"错误。HTTP 以明文传输；HTTPS 在 HTTP 的基础上加入 TLS 加密，才能保护传输内容。"},
        {Judge, Office, D1, u"在 Word 中，页眉中的内容显示在每一页的底部。", u"错误。页眉位于页面顶部，页面底部的是页脚。"},
        {Judge, Office, D2, u"在 Excel 中，单元格地址 B3 表示第 B 行第 3 列的单元格。", u"错误。Excel 中字母表示列、数字表示行，B3 表示第 B 列第 3 行的单元格。"},
        // 简答题
        {Open, Hardware, D3, u"简述计算机硬件系统的五大组成部分及其主要作用。",
         u"运算器：进行算术运算和逻辑运算；控制器：指挥、协调各部件工作；存储器：存放程序和数据；输入设备：把信息送入计算机，如键盘、鼠标；输出设备：输出处理结果，如显示器、打印机。"},
        {Open, Hardware, D2, u"内存和外存有什么区别？请从速度、容量和断电后数据是否保留三方面说明。",
         u"内存读写速度快、容量较小，断电后 RAM 中的数据丢失；外存速度较慢、容量大，断电后数据仍能长期保存。CPU 只能直接访问内存，外存中的数据要先调入内存才能处理。"},
        {Open, Numbers, D3, u"计算机内部为什么采用二进制表示信息？",
         u"①二进制只有 0 和 1 两种状态，容易用电子元件的通断、电平高低实现；②运算规则简单；③可靠性高，抗干扰能力强；④便于用逻辑代数进行逻辑运算。"},
        {Open, Numbers, D5, u"为什么 8 位二进制补码能表示的整数范围是 −128～127？",
         u"8 位共有 2⁸ = 256 种编码。补码的最高位是符号位：以 0 开头的 128 种编码表示 0～127；以 1 开头的 128 种编码表示负数，其中 11111111 表示 −1，10000000 表示 −128。0 只有一种表示，所以范围是 −128～127。"},
        {Open, System, D1, u"什么是操作系统？请列举两种常见的操作系统。",
         u"操作系统是管理和控制计算机软硬件资源、合理组织工作流程并为用户提供操作界面的系统软件。常见的有 Windows、Linux、macOS、Android 等。"},
        {Open, System, D4, u"请从静态与动态的角度，简述进程与程序的区别。",
         u"程序是存放在外存上的指令和数据的集合，是静态的，可以长期保存；进程是程序的一次执行过程，是动态的，有创建、运行到撤销的生命周期，并且是系统分配资源的基本单位。一个程序可以对应多个进程。"},
        {Open, Network, D1, u"日常使用计算机时，应如何防范计算机病毒？请至少写出三条措施。",
         u"①安装杀毒软件并及时更新病毒库；②及时安装系统和软件的安全补丁；③不打开来历不明的邮件附件和链接；④不下载安装来路不明的软件；⑤定期备份重要数据。（答出三条即可）"},
        {Open, Network, D3, u"简述 IP 地址与域名的关系，以及 DNS 的作用。",
         u"IP 地址是网络中主机的数字标识，不便记忆；域名是与 IP 地址对应、便于记忆的字符名称。DNS（域名系统）负责把域名解析为对应的 IP 地址，使计算机能够找到目标主机。"},
        {Open, Network, D4, u"按从低到高的顺序写出 OSI 参考模型的七个层次。",
         u"物理层、数据链路层、网络层、传输层、会话层、表示层、应用层。"},
        {Open, Network, D5, u"简述 TCP 与 UDP 两种传输层协议的主要区别，并各举一个典型应用。",
         u"TCP 面向连接，通信前要经过“三次握手”，提供可靠、有序的传输，并有流量控制和拥塞控制，开销较大，如网页浏览、文件传输；UDP 无连接，不保证可靠和有序，开销小、延迟低，如视频通话、DNS 查询。"},
        {Open, Office, D3, u"在 Excel 中，相对引用与绝对引用有什么区别？请举例说明。",
         u"相对引用（如 A1）在复制公式时会随位置变化自动调整；绝对引用（如 $A$1）在复制时保持不变。例如 C1 中的 =A1*$B$1 复制到 C2 后变为 =A2*$B$1。"},
        {Open, Office, D4, u"简述在 Word 中自动生成文档目录的一般步骤。",
         u"①为各级标题设置“标题 1”“标题 2”等标题样式；②把光标定位到要插入目录的位置；③在“引用”选项卡中单击“目录”，选择一种目录样式插入；④文档修改后，用“更新目录”使标题和页码保持一致。"},
    };
    bank.addRows(rows);
    return bank.take();
}

}  // namespace

QVector<DemoSubject> demoSubjects()
{
    return {maths(), chinese(), computing()};
}
