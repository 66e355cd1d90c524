#include "zipengine/ZipListing.h"

#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "zipengine/TZipFile.h"
#include "zipengine/ZipFormat.h"

#include <QDateTime>
#include <QHash>
#include <limits>

namespace ZipListing {

void SplitStoredName(const QString& stored, QString& caption, QString& path)
{
    QString name = stored;
    name.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const qsizetype cut = name.lastIndexOf(QLatin1Char('\\'));
    if (cut < 0) {
        caption = name;
        path.clear();
    } else {
        caption = name.mid(cut + 1);
        path = name.left(cut + 1);
    }
}

QString DateText(uint32_t dosDateTime)
{
    return Platform::DateTimeText(DosDateTimeToQDateTime(dosDateTime));
}

int32_t AddToTotal(int32_t total, uint64_t size)
{
    constexpr int64_t top = std::numeric_limits<int32_t>::max();
    if (total < 0 || size >= uint64_t(top))
        return int32_t(top);
    const int64_t sum = int64_t(total) + int64_t(size);
    return int32_t(sum > top ? top : sum);
}

int64_t AddToTotal(int64_t total, uint64_t size)
{
    constexpr uint64_t top = uint64_t(std::numeric_limits<int64_t>::max());
    if (total < 0 || size >= top - uint64_t(total))
        return int64_t(top);
    return total + int64_t(size);
}

QString NoReadableFilesText()
{
    return QStringLiteral("THERE ARE NO FILES IN THE ZIPFILE THAT THIS PROGRAM CAN READ");
}

bool OpenForListing(TZipFile& lister, const QString& path, Prompter& prompter)
{
    if (!lister.SetFileName(path)) {
        prompter.error(lister.OpenError());
        return false;
    }
    if (lister.FileCount() == 0) {
        prompter.information(NoReadableFilesText());
        return false;
    }
    return true;
}

void ForEachEntry(const TZipFile& lister, const std::function<void(int index, const ZipFile& entry, const EntryRow& row)>& visit)
{
    QHash<uint32_t, QString> dates;
    EntryRow row;
    const std::vector<ZipFile>& records = lister.Records();
    for (size_t i = 0; i < records.size(); ++i) {
        const ZipFile& rec = records[i];
        SplitStoredName(rec.FileName, row.caption, row.folder);
        const uint32_t dt = rec.DosDateTime();
        auto d = dates.constFind(dt);
        if (d == dates.constEnd())
            d = dates.insert(dt, DateText(dt));
        row.date = *d;
        visit(int(i), rec, row);
    }
}

} // namespace ZipListing
