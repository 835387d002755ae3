#pragma once

#include "containers/prefetch.h"

#include <QHash>
#include <QStringView>

#include <algorithm>
#include <cstddef>
#include <vector>

// The hash a NameIndex places names by; tests put one of their own in its place.
struct NameHash
{
    size_t operator()(QStringView name) const { return qHash(name, QHashSeed::globalSeed()); }
};

// The names of one folder, each with a value of the caller's, as the plan knows them.
// Open addressing with linear probing over a power-of-two array of slots, at most half
// used, each slot the place of a name's entry among the entries (in the order the names
// were added). A name's characters stay where the caller keeps them (a folder's listing,
// a row's texts); an entry's address holds until the next name is added.
//
// Not a PathIndex: this one owns a value per name and is asked about names of one
// folder, millions of times per plan, so its slots are 4 bytes (a folder of a million
// files with as many targets needs four million) and the 16 bits of each name's hash
// that spare most comparisons sit in the value's own padding: Value has a member
// `quint16 hashTag`, which the index sets and the caller leaves alone. With a 12-byte
// value an entry is then 24 bytes. Names are only added (clear() forgets them all): a
// plan never takes a name back.
template <typename Value, typename Hash = NameHash>
class NameIndex
{
public:
    struct Named
    {
        const QChar *characters;
        qint32 length;
        Value value;

        QStringView name() const { return {characters, length}; }
    };

    static size_t hashOf(QStringView name) { return Hash()(name); }

    // The entries, in the order their names were added.
    const std::vector<Named> &named() const { return m_named; }
    // For texts that move: an entry's characters may be pointed at another copy of the
    // same name (never a different name: the slots were placed by its hash).
    std::vector<Named> &namedToMove() { return m_named; }

    // Room for count names without growing.
    void reserve(qsizetype count)
    {
        m_named.reserve(size_t(count));
        size_t slotCount = 64;
        while (slotCount < 2 * size_t(count))
            slotCount *= 2;
        if (slotCount > m_slots.size())
            rehash(slotCount);
    }

    void clear()
    {
        m_named.clear();
        std::fill(m_slots.begin(), m_slots.end(), FreeSlot);
    }

    qsizetype size() const { return qsizetype(m_named.size()); }
    qsizetype slotCount() const { return qsizetype(m_slots.size()); }

    // A pass over many names asks for what a look-up reads some names ahead, in
    // stages, each reading only what the one before brought: the slot, the entry it
    // names, that entry's characters.
    void prefetchSlot(size_t hash) const
    {
        if (!m_slots.empty())
            prefetch(&m_slots[hash & m_mask]);
    }
    void prefetchNamed(size_t hash) const
    {
        if (const Named *named = firstNamed(hash))
            prefetch(named);
    }
    void prefetchNamedText(size_t hash) const
    {
        if (const Named *named = firstNamed(hash))
            prefetch(named->characters);
    }

    // The value of name (whose hash is hash), or nullptr.
    Value *find(QStringView name, size_t hash)
    {
        if (m_slots.empty())
            return nullptr;
        const qint32 index = m_slots[slotOf(name, hash)];
        return index < 0 ? nullptr : &m_named[size_t(index)].value;
    }

    // The value of name, added as Value() when the name is new. name's characters must
    // stay where they are while the index reads them.
    Value &findOrAdd(QStringView name, size_t hash)
    {
        if (2 * (m_named.size() + 1) > m_slots.size())
            rehash(std::max<size_t>(64, 2 * m_slots.size()));
        qint32 &slot = m_slots[slotOf(name, hash)];
        if (slot < 0) {
            slot = qint32(m_named.size());
            Value value{};
            value.hashTag = tagOf(hash);
            m_named.push_back({name.data(), qint32(name.size()), value});
        }
        return m_named[size_t(slot)].value;
    }

    // Where a value of this index is among the entries, in the order they were added.
    size_t indexOf(const Value &value) const
    {
        const auto *named = reinterpret_cast<const char *>(&value) - offsetof(Named, value);
        return size_t(reinterpret_cast<const Named *>(named) - m_named.data());
    }

private:
    static constexpr qint32 FreeSlot = -1; // else an index into m_named

    // The slot's bits come from the hash's low end, the tag from its high end.
    static quint16 tagOf(size_t hash) { return quint16(quint64(hash) >> 48); }

    const Named *firstNamed(size_t hash) const
    {
        if (m_slots.empty())
            return nullptr;
        const qint32 index = m_slots[hash & m_mask];
        return index < 0 ? nullptr : &m_named[size_t(index)];
    }

    // The slot holding name, or the free slot where it goes.
    size_t slotOf(QStringView name, size_t hash) const
    {
        const quint16 tag = tagOf(hash);
        for (size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            const qint32 index = m_slots[i];
            if (index < 0)
                return i;
            const Named &named = m_named[size_t(index)];
            if (named.value.hashTag == tag && named.name() == name)
                return i;
        }
    }

    void rehash(size_t slotCount)
    {
        m_slots.assign(slotCount, FreeSlot);
        m_mask = slotCount - 1;
        for (size_t n = 0; n < m_named.size(); ++n)
            m_slots[slotOf(m_named[n].name(), hashOf(m_named[n].name()))] = qint32(n);
    }

    std::vector<qint32> m_slots;
    size_t m_mask = 0;
    std::vector<Named> m_named;
};
