#include "app/FileOrder.h"

#include "app/platform/LargeArray.h"

#include <QString>

#include <algorithm>
#include <system_error>
#include <thread>

namespace {

// A row's sort key, computed once per sort: the first units of its text past the beginning every text
// shares (or its size) in W numbers that compare as the text does, how many units that part has (one more
// than fit for longer texts), and the row's shown place before the sort, which keeps the sort stable.
// Twelve UTF-16 units fit in three numbers; 24 when every text's units there are below 256 and take 8 bits
// each, so dates and most Latin names need no comparison of whole texts. W is only as large as the
// longest text needs (one number for dates and sizes).
template <int W> struct SortKey {
    quint64 word[W];
    quint32 length;
    quint32 place;
};

constexpr qsizetype kWideUnits = 12;
constexpr qsizetype kNarrowUnits = 24;

const QString& TextOf(const FileRow& row, int column) {
    return column == 2 ? row.regDate : row.name;
}

// -1, 0 or 1 by the keys alone. Equal keys of texts that both fit in them (`fit` units) are equal texts
// but for trailing zero units, where the shorter text comes first.
template <int W> int KeyOrder(const SortKey<W>& a, const SortKey<W>& b, quint32 fit) {
    for (int i = 0; i < W; ++i)
        if (a.word[i] != b.word[i])
            return a.word[i] < b.word[i] ? -1 : 1;
    if (a.length != b.length && (a.length <= fit || b.length <= fit))
        return a.length < b.length ? -1 : 1;
    return 0;
}

// Long lists are sorted in two halves on two threads, then merged: the order is the same, since no two
// keys are equal (their places differ).
constexpr size_t kTwoThreads = 65536;

template <int W> void SortKeys(LargeArray<SortKey<W>>& keys, quint32 fit, bool ascending) {
    auto before = [fit, ascending](const SortKey<W>& a, const SortKey<W>& b) {
        const int c = KeyOrder(a, b, fit);
        if (c != 0)
            return ascending ? c < 0 : c > 0;
        return a.place < b.place;
    };
    if (keys.size() < kTwoThreads) {
        std::sort(keys.begin(), keys.end(), before);
        return;
    }
    const auto middle = keys.begin() + qsizetype(keys.size() / 2);
    std::thread first;
    try {
        first = std::thread([&] { std::sort(keys.begin(), middle, before); });
    } catch (const std::system_error&) {
        std::sort(keys.begin(), middle, before); // no thread to be had: both halves here
    }
    std::sort(middle, keys.end(), before);
    if (first.joinable())
        first.join();
    LargeArray<SortKey<W>> merged(keys.size());
    std::merge(keys.begin(), middle, middle, keys.end(), merged.begin(), before);
    keys.swap(merged);
}

// The new shown order from the sorted keys; `order` is the one before the sort until then.
template <int W> void TakeOrder(const LargeArray<SortKey<W>>& keys, std::vector<quint32>& order) {
    std::vector<quint32> sorted;
    sorted.reserve(keys.size());
    for (const SortKey<W>& key : keys)
        sorted.push_back(order[key.place]);
    order.swap(sorted);
}

// False, with nothing changed, when a unit past the shared beginning does not fit in 8 bits (`narrow`).
template <int W>
bool SortByText(const std::vector<FileRow>& files, int column, qsizetype shared, bool narrow, bool ascending,
                const LargeArray<quint32>& place, std::vector<quint32>& order) {
    const qsizetype fit = narrow ? kNarrowUnits : kWideUnits;
    const int bits = narrow ? 8 : 16;
    const int perWord = 64 / bits;
    LargeArray<SortKey<W>> keys(files.size());
    for (size_t row = 0; row < files.size(); ++row) {
        const QString& text = TextOf(files[row], column);
        const char16_t* units = reinterpret_cast<const char16_t*>(text.constData()) + shared;
        const qsizetype length = text.size() - shared;
        const qsizetype n = std::min(length, fit);
        SortKey<W>& key = keys[row];
        std::fill(std::begin(key.word), std::end(key.word), 0);
        for (qsizetype i = 0; i < n; ++i) {
            if (narrow && units[i] > 0xff)
                return false;
            key.word[i / perWord] |= quint64(units[i]) << (64 - bits - bits * int(i % perWord));
        }
        key.length = quint32(std::min(length, fit + 1));
        key.place = place[row];
    }
    SortKeys(keys, quint32(fit), ascending);
    // Each run of equal keys of longer texts by the whole texts.
    for (size_t begin = 0; begin < keys.size();) {
        size_t end = begin + 1;
        while (end < keys.size() && KeyOrder(keys[begin], keys[end], quint32(fit)) == 0)
            ++end;
        if (end - begin > 1 && keys[begin].length > quint32(fit)) {
            std::sort(keys.begin() + qsizetype(begin), keys.begin() + qsizetype(end),
                      [&](const SortKey<W>& a, const SortKey<W>& b) {
                          const int c = QString::compare(TextOf(files[order[a.place]], column),
                                                         TextOf(files[order[b.place]], column), Qt::CaseSensitive);
                          if (c != 0)
                              return ascending ? c < 0 : c > 0;
                          return a.place < b.place;
                      });
        }
        begin = end;
    }
    TakeOrder(keys, order);
    return true;
}

bool SortByText(const std::vector<FileRow>& files, int column, qsizetype shared, qsizetype longest, bool narrow,
                bool ascending, const LargeArray<quint32>& place, std::vector<quint32>& order) {
    const qsizetype perWord = narrow ? 8 : 4;
    const qsizetype units = std::min(longest - shared, narrow ? kNarrowUnits : kWideUnits);
    switch (std::max<qsizetype>(1, (units + perWord - 1) / perWord)) {
    case 1:
        return SortByText<1>(files, column, shared, narrow, ascending, place, order);
    case 2:
        return SortByText<2>(files, column, shared, narrow, ascending, place, order);
    default:
        return SortByText<3>(files, column, shared, narrow, ascending, place, order);
    }
}

} // namespace

void SortFileOrder(const std::vector<FileRow>& files, std::vector<quint32>& order, int column, bool ascending) {
    // Each row's shown place, so the keys are made in the rows' own order, one after the other in memory.
    LargeArray<quint32> place(files.size());
    for (size_t i = 0; i < order.size(); ++i)
        place[order[i]] = quint32(i);
    if (column == 1) {
        LargeArray<SortKey<1>> keys(files.size());
        for (size_t row = 0; row < files.size(); ++row)
            keys[row] = {
                {quint64(qint64(files[row].size) + (qint64(1) << 31))}, 0, place[row]}; // signed as unsigned
        SortKeys(keys, 0, ascending);
        TakeOrder(keys, order);
        return;
    }
    // The units every text begins with decide nothing; the keys start after them. In the same pass, the
    // longest text, which sets how many numbers a key needs.
    const QString first = files.empty() ? QString() : TextOf(files[0], column);
    qsizetype shared = first.size();
    qsizetype longest = 0;
    for (const FileRow& row : files) {
        const QString& text = TextOf(row, column);
        longest = std::max(longest, text.size());
        if (shared > 0) {
            const QChar* a = first.constData();
            const QChar* b = text.constData();
            const qsizetype n = std::min(shared, text.size());
            qsizetype same = 0;
            while (same < n && a[same] == b[same])
                ++same;
            shared = same;
        }
    }
    if (!SortByText(files, column, shared, longest, true, ascending, place, order))
        SortByText(files, column, shared, longest, false, ascending, place, order);
}
