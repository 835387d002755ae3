#include "filelist/naturalorder.h"

#include "containers/prefetch.h"
#include "engine/parallel.h"

#include <QCollatorSortKey>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <array>
#include <bitset>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

QCollator naturalCollator()
{
    QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

namespace {

// The order is found in two parts at most: two collators, two blocks of key bytes and a
// split at the median make it so, and a third thread gained little over two (the
// checks of neighbours wait on memory).
qsizetype secondHalfOf(qsizetype count)
{
    return partsFor(count, 2) == 2 ? partBegin(count, 2, 1) : count;
}

template <typename Work>
void runInHalves(qsizetype count, Work work)
{
    runInParts(count, secondHalfOf(count) < count ? 2 : 1, work);
}

// A collator like the given one, for another thread: QCollator promises no use of one
// object (or of its copies, which share the ICU collator) from two threads at a time.
QCollator collatorLike(const QCollator &collator)
{
    QCollator like(collator.locale());
    like.setCaseSensitivity(collator.caseSensitivity());
    like.setNumericMode(collator.numericMode());
    like.setIgnorePunctuation(collator.ignorePunctuation());
    return like;
}

// A guess at the collator's order that costs a byte comparison: learnt from the collator
// itself (which characters it takes as one letter, as a and A; where digit runs sort; how
// an accented Latin letter relates to the plain one), it maps each name to bytes whose
// order is mostly the collator's. Mostly is enough: every order it suggests is checked
// with the collator before it is used.
class CollationModel
{
public:
    // Characters from here on are never learnt: each name using one is left to the
    // collator's own sort keys.
    static constexpr char16_t Limit = 0x250;
    using Characters = std::bitset<Limit>;

    // Learns printable ASCII and the letters below Limit among characters.
    CollationModel(const QCollator &collator, const Characters &characters);

    // Appends text's bytes to keys, or appends nothing and returns false when text
    // holds a character that was not learnt.
    bool appendKey(QStringView text, std::string &keys) const;

private:
    struct Weight
    {
        quint8 primary = 0; // 0: not learnt
        quint8 secondary = 0;
        quint8 expansion = 0; // a second primary, as ß sorts like ss
    };
    std::array<Weight, Limit> m_weights{};
    quint8 m_digits = 0;
};

CollationModel::CollationModel(const QCollator &collator, const Characters &characters)
{
    const auto compare = [&](char16_t a, char16_t b) {
        return collator.compare(QStringView(&a, 1), QStringView(&b, 1));
    };
    // The ASCII characters in the collator's order, those it takes as equal in one
    // class; "0" stands for every run of digits.
    QList<char16_t> ascii;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        if (c < u'1' || c > u'9')
            ascii.append(c);
    }
    std::stable_sort(ascii.begin(), ascii.end(),
                     [&](char16_t a, char16_t b) { return compare(a, b) < 0; });
    struct Class
    {
        QList<char16_t> members;
        QList<char16_t> accented;         // the same letter at the first level
        QList<char16_t> expansions;       // each sorts as this class then ...
        QList<qsizetype> expansionSecond; // ... that class
        QList<QList<char16_t>> before;    // letters of their own just before this class
        quint8 weight = 0;
    };
    QList<Class> classes;
    for (char16_t c : ascii) {
        if (classes.isEmpty() || compare(classes.last().members.first(), c) != 0)
            classes.append(Class());
        classes.last().members.append(c);
    }
    classes.append(Class()); // holds the letters that sort after every ASCII class
    const qsizetype asciiClasses = classes.size() - 1;
    const auto sample = [&](qsizetype index) {
        return QString(QChar(classes.at(index).members.first()));
    };

    const QString lowest = sample(0);
    const QString highest = sample(asciiClasses - 1);
    // Where each letter sorts among the ASCII classes: in one of them, as an accented
    // form of one, as a pair of them, or as a letter of its own between two of them.
    QList<std::pair<char16_t, qsizetype>> ownLetters;
    for (char16_t c = 0x80; c < Limit; ++c) {
        if (!characters.test(c) || !QChar(c).isLetter())
            continue;
        qsizetype low = 0;
        qsizetype high = asciiClasses;
        int found = 1;
        while (low < high) {
            const qsizetype middle = (low + high) / 2;
            found = compare(c, classes.at(middle).members.first());
            if (found == 0) {
                low = middle;
                break;
            }
            if (found < 0)
                high = middle;
            else
                low = middle + 1;
        }
        if (found == 0) {
            classes[low].members.append(c);
            continue;
        }
        // Probes that follow c or the class before it: if the first level decides
        // between c + lowest and previous + highest, c has previous's first-level
        // weight and no more, only an accent.
        const QString text(QChar{c});
        const QString previous = low > 0 ? sample(low - 1) : QString();
        if (low > 0 && collator.compare(text + lowest, previous + highest) < 0 &&
            collator.compare(text + highest, previous + highest) > 0) {
            classes[low - 1].accented.append(c);
            continue;
        }
        bool expanded = false;
        for (qsizetype second = 0; low > 0 && second < asciiClasses && !expanded; ++second) {
            if (QChar(classes.at(second).members.first()).isLetter() &&
                collator.compare(text, previous + sample(second)) == 0) {
                classes[low - 1].expansions.append(c);
                classes[low - 1].expansionSecond.append(second);
                expanded = true;
            }
        }
        if (expanded)
            continue;
        // A letter of its own when the first level alone puts it after the class
        // before and before the class after.
        if ((low == 0 || collator.compare(text + lowest, previous + highest) > 0) &&
            (low == asciiClasses || collator.compare(text + highest, sample(low) + lowest) < 0))
            ownLetters.append({c, low});
    }
    std::stable_sort(ownLetters.begin(), ownLetters.end(), [&](const auto &a, const auto &b) {
        return a.second != b.second ? a.second < b.second : compare(a.first, b.first) < 0;
    });
    for (qsizetype i = 0; i < ownLetters.size(); ++i) {
        QList<QList<char16_t>> &before = classes[ownLetters.at(i).second].before;
        if (before.isEmpty() || ownLetters.at(i - 1).second != ownLetters.at(i).second ||
            compare(before.last().first(), ownLetters.at(i).first) != 0)
            before.append(QList<char16_t>());
        before.last().append(ownLetters.at(i).first);
    }

    // Weights in order, 1 upwards; 0 ends a name's first level.
    int weight = 0;
    const auto next = [&]() -> quint8 { return quint8(std::min(++weight, 255)); };
    for (Class &group : classes) {
        for (const QList<char16_t> &letter : group.before) {
            const quint8 own = next();
            for (char16_t c : letter)
                m_weights[c].primary = own;
        }
        if (!group.members.isEmpty())
            group.weight = next();
    }
    if (weight >= 255) {
        m_weights = {}; // too many to tell apart: nothing is learnt
        return;
    }
    for (const Class &group : classes) {
        for (char16_t c : group.members)
            m_weights[c].primary = group.weight;
        // Accented forms rank among themselves at the second level.
        QList<char16_t> accented = group.accented;
        std::stable_sort(accented.begin(), accented.end(),
                         [&](char16_t a, char16_t b) { return compare(a, b) < 0; });
        int rank = 0;
        for (qsizetype i = 0; i < accented.size(); ++i) {
            if (i == 0 || compare(accented.at(i - 1), accented.at(i)) != 0)
                ++rank;
            m_weights[accented.at(i)] = {group.weight, quint8(std::min(rank, 255)), 0};
        }
        for (qsizetype i = 0; i < group.expansions.size(); ++i)
            m_weights[group.expansions.at(i)] = {group.weight, 0,
                                                 classes.at(group.expansionSecond.at(i)).weight};
    }
    m_digits = m_weights[u'0'].primary;
    for (char16_t c = u'1'; c <= u'9'; ++c)
        m_weights[c].primary = m_digits;
}

bool CollationModel::appendKey(QStringView text, std::string &keys) const
{
    // First-level bytes (a run of digits: the digits' weight, the count of its digits
    // without leading zeros, the digits), 0, then second-level bytes without the
    // trailing zeros, as a collator compares accents only between equal letters. At
    // most three first-level bytes and one second-level byte per character.
    const size_t start = keys.size();
    const qsizetype length = text.size();
    keys.resize(start + size_t(length) * 4 + 1);
    char *const first = keys.data() + start;
    char *out = first;
    std::array<quint8, 256> secondLevel;
    size_t secondCount = 0;
    size_t secondUsed = 0;
    const char16_t *const chars = text.utf16();
    for (qsizetype i = 0; i < length;) {
        const char16_t c = chars[i];
        if (c >= u'0' && c <= u'9') {
            qsizetype end = i + 1;
            while (end < length && chars[end] >= u'0' && chars[end] <= u'9')
                ++end;
            while (i < end - 1 && chars[i] == u'0')
                ++i;
            if (end - i > 200) {
                keys.resize(start);
                return false;
            }
            *out++ = char(m_digits);
            *out++ = char(end - i);
            for (; i < end; ++i)
                *out++ = char(chars[i] - u'0' + 1);
            if (secondCount < secondLevel.size())
                secondLevel[secondCount++] = 0;
            continue;
        }
        if (c >= Limit || m_weights[c].primary == 0) {
            keys.resize(start);
            return false;
        }
        const Weight &weight = m_weights[c];
        *out++ = char(weight.primary);
        if (secondCount < secondLevel.size()) {
            secondLevel[secondCount++] = weight.secondary;
            if (weight.secondary != 0)
                secondUsed = secondCount;
        }
        if (weight.expansion != 0) {
            *out++ = char(weight.expansion);
            if (secondCount < secondLevel.size())
                secondLevel[secondCount++] = 0;
        }
        ++i;
    }
    *out++ = '\0';
    out = std::copy_n(reinterpret_cast<const char *>(secondLevel.data()), secondUsed, out);
    keys.resize(start + size_t(out - first));
    return true;
}

// Which texts may sit in one order: the characters at and above 0x80 that they use.
void addCharacters(QStringView text, CollationModel::Characters &characters)
{
    char16_t any = 0;
    for (QChar c : text)
        any |= c.unicode();
    if (any < 0x80)
        return;
    for (QChar c : text) {
        if (c.unicode() >= 0x80 && c.unicode() < CollationModel::Limit)
            characters.set(c.unicode());
    }
}

// A text the model knows: its group, eight bytes of its key read as a number, and its
// position.
struct Entry
{
    quint64 head;
    int group;
    quint32 position;
};

// Sorts entries by group, then head, keeping the order of those alike in both: one pass
// per byte that varies, the least significant first. scratch holds as many entries.
void radixSort(Entry *first, Entry *last, Entry *scratch)
{
    const size_t count = size_t(last - first);
    if (count < 64) {
        std::stable_sort(first, last, [](const Entry &a, const Entry &b) {
            return a.group != b.group ? a.group < b.group : a.head < b.head;
        });
        return;
    }
    constexpr int Bytes = 12; // eight of the head, then four of the group
    const auto byteOf = [](const Entry &e, int byte) {
        return byte < 8 ? quint8(e.head >> (8 * byte))
                        : quint8(quint32(e.group) >> (8 * (byte - 8)));
    };
    std::vector<std::array<size_t, 256>> counts(Bytes);
    for (const Entry *e = first; e < last; ++e) {
        for (int byte = 0; byte < Bytes; ++byte)
            ++counts[size_t(byte)][byteOf(*e, byte)];
    }
    Entry *from = first;
    Entry *to = scratch;
    for (int byte = 0; byte < Bytes; ++byte) {
        std::array<size_t, 256> &starts = counts[size_t(byte)];
        if (starts[byteOf(*first, byte)] == count)
            continue; // the same in all
        size_t next = 0;
        for (size_t &start : starts)
            next += std::exchange(start, next);
        for (const Entry *e = from; e < from + count; ++e)
            to[starts[byteOf(*e, byte)]++] = *e;
        std::swap(from, to);
    }
    if (from != first)
        std::copy(from, from + count, first);
}

// Texts side by side in up to two blocks of characters (one per half, each written by
// its own thread): the checks read them in sorted order, and strings of their own would
// lie wherever they were made.
class TextBlock
{
public:
    // Texts from secondHalf on are set by the second half; each half is set by one
    // thread, in order.
    TextBlock(qsizetype count, qsizetype secondHalf)
        : m_spans(size_t(count))
        , m_secondHalf(secondHalf)
    {}

    qsizetype size() const { return qsizetype(m_spans.size()); }
    QStringView at(qsizetype i) const
    {
        const Span &span = m_spans[size_t(i)];
        return QStringView(m_chars[part(i)].data() + span.start, qsizetype(span.length));
    }
    // Where at(i) reads, to be asked for ahead.
    const void *spanAt(qsizetype i) const { return &m_spans[size_t(i)]; }
    const void *charsAt(qsizetype i) const
    {
        return m_chars[part(i)].data() + m_spans[size_t(i)].start;
    }

    void set(int half, qsizetype i, QStringView text)
    {
        std::vector<char16_t> &chars = m_chars[half];
        m_spans[size_t(i)] = {quint32(chars.size()), quint32(text.size())};
        chars.insert(chars.end(), text.utf16(), text.utf16() + text.size());
    }
    void reserve(int half, size_t characters) { m_chars[half].reserve(characters); }

private:
    struct Span
    {
        quint32 start;
        quint32 length;
    };
    int part(qsizetype i) const { return i >= m_secondHalf ? 1 : 0; }

    std::vector<char16_t> m_chars[2];
    std::vector<Span> m_spans;
    qsizetype m_secondHalf;
};

// The model's keys of texts, made by two threads, each for half of the texts.
class ModelKeys
{
public:
    ModelKeys(const CollationModel &model, const TextBlock &texts, const QList<int> &groups);

    // The texts the model knows, in the order of their positions, heads read past the
    // bytes that all their keys share.
    std::vector<Entry> entries;
    // Those it does not know.
    QList<qsizetype> unknown;

    std::string_view keyOf(quint32 position) const
    {
        const Span span = m_spans[position];
        return std::string_view(m_keys[qsizetype(position) >= m_secondHalf ? 1 : 0])
            .substr(span.start, span.length);
    }

    // Sorts entries whose keys agree before depth by group, key and position: by the
    // eight bytes at hand, then those alike in them by the next eight, and so on, so
    // that keys are read only where eight bytes do not settle it. scratch holds as many
    // entries.
    void sort(Entry *first, Entry *last, Entry *scratch) const
    {
        sort(first, last, scratch, m_shared);
    }
    // The same order, one pair at a time.
    bool before(const Entry &a, const Entry &b) const
    {
        if (a.group != b.group)
            return a.group < b.group;
        if (a.head != b.head)
            return a.head < b.head;
        const int byKey = keyOf(a.position).compare(keyOf(b.position));
        return byKey != 0 ? byKey < 0 : a.position < b.position;
    }

private:
    struct Span
    {
        quint32 start;
        quint32 length;
    };

    // The eight key bytes from depth on, as a number; past its end a key reads as 0.
    quint64 headAt(quint32 position, size_t depth) const
    {
        const std::string_view key = keyOf(position);
        quint64 head = 0;
        for (size_t b = depth; b < depth + 8; ++b)
            head = (head << 8) | (b < key.size() ? quint8(key[b]) : 0);
        return head;
    }
    void sort(Entry *first, Entry *last, Entry *scratch, size_t depth) const;

    std::string m_keys[2];
    std::vector<Span> m_spans;
    qsizetype m_secondHalf;
    size_t m_shared = 0;
};

ModelKeys::ModelKeys(const CollationModel &model, const TextBlock &texts, const QList<int> &groups)
    : entries(static_cast<size_t>(texts.size()))
    , m_spans(static_cast<size_t>(texts.size()))
    , m_secondHalf(secondHalfOf(texts.size()))
{
    // Each half writes the entries of the texts it knows from its first position on,
    // and finds the bytes that its keys share.
    qsizetype begins[2] = {0, 0};
    qsizetype known[2] = {0, 0};
    QList<qsizetype> unknowns[2];
    size_t shared[2] = {0, 0};
    runInHalves(texts.size(), [&](int part, qsizetype begin, qsizetype end) {
        begins[part] = begin;
        std::string &keys = m_keys[part];
        keys.reserve(size_t(end - begin) * 20);
        for (qsizetype i = begin; i < end; ++i) {
            const size_t start = keys.size();
            if (model.appendKey(texts.at(i), keys)) {
                m_spans[size_t(i)] = {quint32(start), quint32(keys.size() - start)};
                entries[size_t(begin + known[part]++)] = {0, groups.at(i), quint32(i)};
            } else {
                unknowns[part].append(i);
            }
        }
        if (known[part] == 0)
            return;
        const std::string_view first = keyOf(entries[size_t(begin)].position);
        shared[part] = first.size();
        for (qsizetype e = begin; e < begin + known[part]; ++e) {
            const std::string_view key = keyOf(entries[size_t(e)].position);
            const size_t most = std::min(shared[part], key.size());
            shared[part] =
                size_t(std::mismatch(first.begin(), first.begin() + most, key.begin()).first -
                       first.begin());
        }
    });
    std::move(entries.begin() + begins[1], entries.begin() + begins[1] + known[1],
              entries.begin() + known[0]);
    entries.resize(size_t(known[0] + known[1]));
    unknown = unknowns[0] + unknowns[1];
    m_shared = known[0] == 0 ? shared[1] : shared[0];
    if (known[0] > 0 && known[1] > 0) {
        const std::string_view first = keyOf(entries.front().position);
        const std::string_view other = keyOf(entries[size_t(known[0])].position);
        const size_t most = std::min({shared[1], m_shared, other.size()});
        m_shared = size_t(std::mismatch(first.begin(), first.begin() + most, other.begin()).first -
                          first.begin());
    }
    runInHalves(qsizetype(entries.size()), [&](int, qsizetype begin, qsizetype end) {
        for (qsizetype e = begin; e < end; ++e)
            entries[size_t(e)].head = headAt(entries[size_t(e)].position, m_shared);
    });
}

void ModelKeys::sort(Entry *first, Entry *last, Entry *scratch, size_t depth) const
{
    // Entries that come in the order of their positions keep it among equals.
    radixSort(first, last, scratch);
    for (Entry *run = first; run < last;) {
        Entry *runEnd = run + 1;
        while (runEnd < last && runEnd->group == run->group && runEnd->head == run->head)
            ++runEnd;
        if (runEnd - run > 1) {
            const bool longer = std::any_of(
                run, runEnd, [&](const Entry &e) { return keyOf(e.position).size() > depth + 8; });
            if (longer) {
                for (Entry *e = run; e < runEnd; ++e)
                    e->head = headAt(e->position, depth + 8);
                sort(run, runEnd, scratch + (run - first), depth + 8);
            } else {
                std::sort(run, runEnd,
                          [&](const Entry &a, const Entry &b) { return before(a, b); });
            }
        }
        run = runEnd;
    }
}

// The order of texts wanted: by group, then by the collator, then by position, which is
// what a stable sort by group and collator gives.
class NaturalOrder
{
public:
    NaturalOrder(const QCollator &collator, const TextBlock &texts, const QList<int> &groups)
        : m_collators{collator, collatorLike(collator)}
        , m_texts(texts)
        , m_groups(groups)
    {}

    // The positions of texts in this order.
    QList<qsizetype> positions(const CollationModel &model) const;

private:
    bool precedes(int part, int groupA, qsizetype a, int groupB, qsizetype b) const
    {
        if (groupA != groupB)
            return groupA < groupB;
        const int byName = m_collators[part].compare(m_texts.at(a), m_texts.at(b));
        return byName != 0 ? byName < 0 : a < b;
    }
    bool precedes(qsizetype a, qsizetype b) const
    {
        return precedes(0, m_groups.at(a), a, m_groups.at(b), b);
    }
    QList<qsizetype> sortedByKeys(const QList<qsizetype> &positions) const;
    QList<qsizetype> merged(const QList<qsizetype> &ordered, const QList<qsizetype> &more) const;

    // One for each of two threads.
    const QCollator m_collators[2];
    const TextBlock &m_texts;
    const QList<int> &m_groups;
};

// The collator's sort keys: exact for every text, and the only way for texts the model
// does not know, but building them costs more than all the rest.
QList<qsizetype> NaturalOrder::sortedByKeys(const QList<qsizetype> &positions) const
{
    std::vector<std::optional<QCollatorSortKey>> keys(size_t(positions.size()));
    runInHalves(positions.size(), [&](int part, qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i) {
            keys[size_t(i)].emplace(
                m_collators[part].sortKey(m_texts.at(positions.at(i)).toString()));
        }
    });
    QList<qsizetype> order(positions.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const qsizetype positionA = positions.at(a);
        const qsizetype positionB = positions.at(b);
        if (m_groups.at(positionA) != m_groups.at(positionB))
            return m_groups.at(positionA) < m_groups.at(positionB);
        const int byKey = keys[size_t(a)]->compare(*keys[size_t(b)]);
        return byKey != 0 ? byKey < 0 : positionA < positionB;
    });
    for (qsizetype &i : order)
        i = positions.at(i);
    return order;
}

// Both lists in order, as one list in order: each of more is placed by a search that
// gallops from where the one before it went.
QList<qsizetype> NaturalOrder::merged(const QList<qsizetype> &ordered,
                                      const QList<qsizetype> &more) const
{
    QList<qsizetype> result;
    result.reserve(ordered.size() + more.size());
    const qsizetype count = ordered.size();
    qsizetype from = 0;
    for (qsizetype position : more) {
        qsizetype low = from;
        qsizetype high = count;
        for (qsizetype step = 1;; step *= 2) {
            const qsizetype probe = low + step - 1;
            if (probe >= count)
                break;
            if (!precedes(ordered.at(probe), position)) {
                high = probe;
                break;
            }
            low = probe + 1;
        }
        while (low < high) {
            const qsizetype middle = low + (high - low) / 2;
            if (precedes(ordered.at(middle), position))
                low = middle + 1;
            else
                high = middle;
        }
        result.append(ordered.mid(from, low - from));
        result.append(position);
        from = low;
    }
    result.append(ordered.mid(from));
    return result;
}

QList<qsizetype> NaturalOrder::positions(const CollationModel &model) const
{
    const qsizetype count = m_texts.size();
    const auto all = [count] {
        QList<qsizetype> positions(count);
        std::iota(positions.begin(), positions.end(), 0);
        return positions;
    };
    if (count < 2)
        return all();
    // Under the C locale a QCollator compares without case but sorts keys with it,
    // so there only the keys give the order they give.
    if (m_collators[0].locale().language() == QLocale::C)
        return sortedByKeys(all());

    // The model's order first: the texts it knows, sorted by their keys.
    ModelKeys keys(model, m_texts, m_groups);
    // When most texts need the collator's sort keys anyway, all of them get one.
    if (keys.unknown.size() * 2 > count)
        return sortedByKeys(all());
    std::vector<Entry> &entries = keys.entries;
    const qsizetype known = qsizetype(entries.size());
    const auto before = [&](const Entry &a, const Entry &b) { return keys.before(a, b); };

    // Two threads take a part each: the entries below the median of a sample, and the
    // rest. Each sorts its part and has the collator check it: a list whose every
    // neighbour follows the one before it in the order wanted is in that order.
    std::vector<Entry> scratch(entries.size());
    qsizetype split = known;
    if (secondHalfOf(known) < known) {
        std::vector<Entry> sample;
        for (qsizetype e = 0; e < known; e += known / 1024 + 1)
            sample.push_back(entries[size_t(e)]);
        const auto middle = sample.begin() + qsizetype(sample.size() / 2);
        std::nth_element(sample.begin(), middle, sample.end(), before);
        const Entry pivot = *middle;
        // Stable, so that each part keeps its entries in the order of their positions.
        std::vector<char> below(entries.size());
        split = 0;
        for (size_t e = 0; e < entries.size(); ++e) {
            below[e] = before(entries[e], pivot);
            split += below[e];
        }
        size_t low = 0;
        size_t high = size_t(split);
        for (size_t e = 0; e < entries.size(); ++e)
            scratch[below[e] ? low++ : high++] = entries[e];
        entries.swap(scratch);
    }
    std::vector<char> followsPrevious(entries.size(), 0);
    const auto follows = [&](int part, qsizetype e) {
        const Entry &previous = entries[size_t(e) - 1];
        const Entry &entry = entries[size_t(e)];
        return precedes(part, previous.group, previous.position, entry.group, entry.position);
    };
    const auto sortAndCheck = [&](int part, qsizetype begin, qsizetype end) {
        keys.sort(entries.data() + begin, entries.data() + end, scratch.data() + begin);
        for (qsizetype e = begin + 1; e < end; ++e) {
            if (e + 16 < end)
                prefetch(m_texts.spanAt(entries[size_t(e) + 16].position));
            if (e + 8 < end)
                prefetch(m_texts.charsAt(entries[size_t(e) + 8].position));
            followsPrevious[size_t(e)] = follows(part, e);
        }
    };
    runBoth(
        split < known, [&] { sortAndCheck(0, 0, split); }, [&] { sortAndCheck(1, split, known); });
    if (split > 0 && split < known)
        followsPrevious[size_t(split)] = follows(0, split);

    // A pair that fails leaves the list, both of it, and the two on either side of the
    // gap are checked next.
    QList<qsizetype> ordered;
    ordered.reserve(known);
    QList<qsizetype> left = keys.unknown;
    for (qsizetype e = 0; e < known; ++e) {
        const qsizetype position = entries[size_t(e)].position;
        if (ordered.isEmpty()) {
            ordered.append(position);
            continue;
        }
        const bool inOrder = ordered.last() == entries[size_t(e) - 1].position
                                 ? followsPrevious[size_t(e)] != 0
                                 : precedes(ordered.last(), position);
        if (inOrder) {
            ordered.append(position);
        } else {
            left.append(ordered.takeLast());
            left.append(position);
        }
    }
    if (left.isEmpty())
        return ordered;
    if (left.size() * 2 > count)
        return sortedByKeys(all());
    return merged(ordered, sortedByKeys(left));
}

// Puts items in order: order[k] is the position of the item that goes to position k.
// In place, cycle by cycle, each item read once; the items further along the cycle are
// asked for ahead, as they lie anywhere.
void reorder(RenameItems &items, const QList<qsizetype> &order)
{
    RenameItem *data = items.data();
    const auto ask = [&](qsizetype position) {
        prefetch(data + position);
        prefetch(reinterpret_cast<const char *>(data + position) + 64);
    };
    std::vector<char> placed(size_t(items.size()), 0);
    for (qsizetype start = 0; start < order.size(); ++start) {
        if (placed[size_t(start)] || order.at(start) == start)
            continue;
        qsizetype ahead = start;
        for (int step = 0; step < 8; ++step) {
            ahead = order.at(ahead);
            ask(ahead);
        }
        RenameItem held = std::move(data[start]);
        qsizetype to = start;
        for (;;) {
            ahead = order.at(ahead);
            ask(ahead);
            placed[size_t(to)] = 1;
            const qsizetype from = order.at(to);
            if (from == start) {
                data[to] = std::move(held);
                break;
            }
            data[to] = std::move(data[from]);
            to = from;
        }
    }
}

} // namespace

void sortNaturally(RenameItems &items)
{
    sortNaturally(items, naturalCollator());
}

void sortNaturally(RenameItems &items, const QCollator &collator)
{
    const qsizetype count = items.size();
    if (count < 2)
        return;
    // Two halves read at the same time, each listing the folders in the order they
    // first appear (the items of one folder mostly come together, so the folder before
    // is tried first) and copying the names.
    struct Half
    {
        QHash<QStringView, int> folderIndexes;
        QList<QStringView> folders;
        CollationModel::Characters characters;
    };
    Half halves[2];
    QList<int> groups(count); // each item's folder, then its folder's rank
    const qsizetype secondHalf = secondHalfOf(count);
    TextBlock names(count, secondHalf);
    runInHalves(count, [&](int part, qsizetype begin, qsizetype end) {
        Half &half = halves[part];
        names.reserve(part, size_t(end - begin) * 20);
        int last = -1;
        for (qsizetype i = begin; i < end; ++i) {
            const QStringView folder = QStringView(items.at(i).folder);
            if (last < 0 || half.folders.at(last) != folder) {
                auto it = half.folderIndexes.find(folder);
                if (it == half.folderIndexes.end()) {
                    it = half.folderIndexes.insert(folder, int(half.folders.size()));
                    half.folders.append(folder);
                    addCharacters(folder, half.characters);
                }
                last = *it;
            }
            groups[i] = last;
            const QStringView name = QStringView(items.at(i).fileName);
            names.set(part, i, name);
            addCharacters(name, half.characters);
        }
    });
    // The second half's folders join the first's.
    QList<QStringView> folderList = halves[0].folders;
    QList<int> joined;
    for (QStringView folder : std::as_const(halves[1].folders)) {
        const int index = halves[0].folderIndexes.value(folder, -1);
        joined.append(index >= 0 ? index : int(folderList.size()));
        if (index < 0)
            folderList.append(folder);
    }
    TextBlock folders(folderList.size(), folderList.size());
    for (qsizetype f = 0; f < folderList.size(); ++f)
        folders.set(0, f, folderList.at(f));

    const CollationModel model(collator, halves[0].characters | halves[1].characters);
    const QList<int> noGroups(folders.size(), 0);
    const QList<qsizetype> folderOrder = NaturalOrder(collator, folders, noGroups).positions(model);
    QList<int> ranks(folders.size());
    for (qsizetype rank = 0; rank < folderOrder.size(); ++rank)
        ranks[folderOrder.at(rank)] = int(rank);
    for (qsizetype i = 0; i < count; ++i)
        groups[i] = ranks.at(i >= secondHalf ? joined.at(groups.at(i)) : groups.at(i));
    reorder(items, NaturalOrder(collator, names, groups).positions(model));
}
