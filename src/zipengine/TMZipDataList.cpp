#include "TMZipDataList.h"

#include "ZipMessages.h"

#include <algorithm>

TMZipDataItem& TMZipDataList::At(int index)
{
    if (index < 0 || index >= Count())
        throw EZipEngine(QStringLiteral("Index (%1) outside range 1..%2").arg(index).arg(Count() - 1),
                         ZipMsg::DS_ErrorUnknown, true);
    return items_[size_t(index)];
}

namespace {
QByteArray folded(const QByteArray& name)
{
    return name.left(255).toLower();
}
} // namespace

TMZipDataItem& TMZipDataList::FindName(const QByteArray& name)
{
    const QByteArray key = folded(name);
    for (TMZipDataItem& item : items_)
        if (folded(item.FileName) == key)
            return item;
    throw EZipEngine(ZipMsg::DS_EntryLost, true);
}

void TMZipDataList::IndexSources()
{
    bySource_.clear();
    bySource_.reserve(Count());
    for (int i = 0; i < Count(); ++i)
        bySource_.insert(qMakePair(items_[size_t(i)].SourceDisk, items_[size_t(i)].SourceOffset), i);
}

TMZipDataItem& TMZipDataList::FindHeader(int32_t disk, int64_t offset, const QByteArray& name)
{
    const auto it = bySource_.constFind(qMakePair(disk, offset));
    if (it == bySource_.constEnd() || items_[size_t(*it)].FileName != name)
        throw EZipEngine(ZipMsg::DS_EntryLost, true);
    return items_[size_t(*it)];
}

std::vector<int> TMZipDataList::SourceOrder() const
{
    std::vector<int> order(items_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        const TMZipDataItem& x = items_[size_t(a)];
        const TMZipDataItem& y = items_[size_t(b)];
        return x.SourceDisk != y.SourceDisk ? x.SourceDisk < y.SourceDisk : x.SourceOffset < y.SourceOffset;
    });
    return order;
}
