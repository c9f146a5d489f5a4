#include "configarchive.h"

#include "archivesignature.h"

#include "platform/fileread.h"
#include "platform/folderentries.h"
#include "platform/paths.h"
#include "platform/userfolder.h"

#include <KLocalizedString>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSet>
#include <QSysInfo>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace
{
// Far above any real configuration, low enough to keep a hostile archive in
// memory. A file is held up to the limit of its readers on the page, so that
// whatever the page reads can be exported and kept in a snapshot.
constexpr qint64 MaxEntrySize = FileRead::ConfigLimit;
constexpr qint64 MaxTotalSize = 2 * FileRead::ConfigLimit;
// Compressed, the files with their headers, the manifest and the signature
// never take much more room than the files themselves.
constexpr qint64 MaxArchiveSize = MaxTotalSize + 1024 * 1024;
constexpr int MaxEntries = 4096;
constexpr int ManifestFormat = 1;
constexpr int TarEndSize = 1024; // the two empty blocks after the last entry

struct Entry {
    QString name;
    QByteArray data;
};

struct ArchiveDeleter {
    void operator()(archive *a) const
    {
        archive_free(a);
    }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

struct EntryDeleter {
    void operator()(archive_entry *e) const
    {
        archive_entry_free(e);
    }
};

QString entryName(const QString &systemPath)
{
    return systemPath.mid(1);
}

QStringList fixedNames()
{
    return {entryName(Paths::EventsFile),
            entryName(Paths::AuditRulesFile),
            entryName(Paths::AuditTypeStore),
            entryName(Paths::CommonSyslogNgFile),
            entryName(Paths::LogRotateFile),
            entryName(Paths::RootNotifyrc)};
}

bool isPerEventName(const QString &name)
{
    const QString folder = entryName(Paths::SyslogNgConfDir) + QLatin1Char('/');
    return name.startsWith(folder) && Paths::isPerEventFileName(name.mid(folder.size()));
}

// Per-event files on the system, as entry names.
QStringList presentPerEventNames()
{
    const QString dir = Paths::placed(Paths::SyslogNgConfDir);
    const QString prefix = QFileInfo(Paths::PerEventFilePrefix).fileName();
    QStringList names;
    // Whatever bears such a name: one that is not a regular file is refused
    // when it is read, not left out in silence.
    const QStringList files = FolderEntries::names(dir, {prefix + QLatin1String("*.conf")}, QDir::Files | QDir::Dirs | QDir::System | QDir::Hidden);
    for (const QString &file : files) {
        const QString name = entryName(Paths::SyslogNgConfDir) + QLatin1Char('/') + file;
        if (isPerEventName(name)) {
            names << name;
        }
    }
    return names;
}

QString placedEntry(const QString &name)
{
    return Paths::placed(QLatin1Char('/') + name);
}

QString archiveError(archive *a)
{
    const char *text = archive_error_string(a);
    return text ? QString::fromLocal8Bit(text) : i18n("damaged or incomplete archive");
}

la_ssize_t appendToByteArray(archive *, void *clientData, const void *buffer, size_t length)
{
    static_cast<QByteArray *>(clientData)->append(static_cast<const char *>(buffer), static_cast<int>(length));
    return static_cast<la_ssize_t>(length);
}

bool fail(QString *errorText, const QString &text)
{
    *errorText = text;
    return false;
}

// Reads every entry into memory and refuses anything but known regular files.
bool readArchive(const QByteArray &compressed, std::vector<Entry> *entries, QString *errorText)
{
    ArchivePtr a(archive_read_new());
    archive_read_support_filter_gzip(a.get());
    archive_read_support_format_tar(a.get());
    if (archive_read_open_memory(a.get(), compressed.constData(), static_cast<size_t>(compressed.size())) != ARCHIVE_OK) {
        return fail(errorText, archiveError(a.get()));
    }

    QSet<QString> seen;
    qint64 total = 0;
    for (;;) {
        archive_entry *entry = nullptr;
        const int status = archive_read_next_header(a.get(), &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status != ARCHIVE_OK) {
            return fail(errorText, archiveError(a.get()));
        }
        const QString name = QString::fromUtf8(archive_entry_pathname(entry));
        if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry) || archive_entry_symlink(entry)) {
            return fail(errorText, i18n("%1: not a regular file", name));
        }
        if (!ConfigArchive::isManagedName(name) && name != ConfigArchive::ManifestName) {
            return fail(errorText, i18n("%1: not a managed file", name));
        }
        if (seen.contains(name)) {
            return fail(errorText, i18n("%1: stored twice", name));
        }
        if (int(seen.size()) >= MaxEntries) {
            return fail(errorText, i18n("too many entries"));
        }
        if (!archive_entry_size_is_set(entry) || archive_entry_size(entry) > MaxEntrySize) {
            return fail(errorText, i18n("%1: size unknown or too large", name));
        }
        Entry read{name, QByteArray()};
        char buffer[16384];
        for (;;) {
            const la_ssize_t n = archive_read_data(a.get(), buffer, sizeof(buffer));
            if (n < 0) {
                return fail(errorText, QStringLiteral("%1: %2").arg(name, archiveError(a.get())));
            }
            if (n == 0) {
                break;
            }
            read.data.append(buffer, static_cast<int>(n));
            total += n;
            if (read.data.size() > MaxEntrySize || total > MaxTotalSize) {
                return fail(errorText, i18n("%1: too large", name));
            }
        }
        seen.insert(name);
        entries->push_back(std::move(read));
    }
    return true;
}

QJsonObject hashes(const ConfigArchive::Files &files)
{
    QJsonObject sums;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        sums.insert(it.key(), QString::fromLatin1(ConfigArchive::sha256(it.value())));
    }
    return sums;
}

QByteArray manifestFor(const ConfigArchive::Files &files)
{
    const QJsonObject manifest{{QStringLiteral("format"), ManifestFormat},
                               {QStringLiteral("created"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
                               {QStringLiteral("host"), QSysInfo::machineHostName()},
                               {QStringLiteral("files"), hashes(files)}};
    return QJsonDocument(manifest).toJson();
}

// The manifest must name exactly the archive's files with their hashes: an
// archive changed after its export is refused, not half believed.
bool readManifest(const QByteArray &data, const ConfigArchive::Files &files, QJsonObject *manifest, QString *errorText)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (!document.isObject()) {
        return fail(errorText, i18n("%1: not a JSON object: %2", ConfigArchive::ManifestName, error.errorString()));
    }
    *manifest = document.object();
    if (manifest->value(QStringLiteral("format")).toInt() != ManifestFormat) {
        return fail(errorText, i18n("%1: unknown format", ConfigArchive::ManifestName));
    }
    if (manifest->value(QStringLiteral("files")).toObject() != hashes(files)) {
        return fail(errorText, i18n("%1: the archive's files differ from the ones it lists", ConfigArchive::ManifestName));
    }
    return true;
}

// The archive often goes into a user's home: its folder is walked without
// following links and the file is replaced through the open folder, never by
// path, so a link in its place is refused instead of followed.
UserFolder targetFolder(const QString &archivePath)
{
    const QFileInfo target(QDir::cleanPath(QFileInfo(archivePath).absoluteFilePath()));
    return UserFolder::open(QStringLiteral("/"), target.path(), 0, 0, UserFolder::Owners::Anyone);
}

// The uncompressed tar of present, the manifest first: a reader learns what
// the archive holds before its files. No padding after the archive's end.
bool tarOf(const ConfigArchive::Present &present, QByteArray *tar, QString *errorText)
{
    QStringList entries = present.names;
    entries.prepend(ConfigArchive::ManifestName);
    ConfigArchive::Files files = present.files;
    files.insert(ConfigArchive::ManifestName, manifestFor(present.files));

    QByteArray data;
    ArchivePtr a(archive_write_new());
    if (archive_write_set_format_pax_restricted(a.get()) != ARCHIVE_OK || archive_write_set_bytes_in_last_block(a.get(), 1) != ARCHIVE_OK
        || archive_write_open(a.get(), &data, nullptr, appendToByteArray, nullptr) != ARCHIVE_OK) {
        return fail(errorText, archiveError(a.get()));
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QString &name : std::as_const(entries)) {
        const QByteArray &content = files[name];
        std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
        archive_entry_set_pathname(entry.get(), name.toUtf8().constData());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), content.size());
        archive_entry_set_mtime(entry.get(), present.modified.value(name, now).toSecsSinceEpoch(), 0);
        if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK
            || archive_write_data(a.get(), content.constData(), static_cast<size_t>(content.size())) != content.size()) {
            return fail(errorText, archiveError(a.get()));
        }
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK) {
        return fail(errorText, archiveError(a.get()));
    }
    *tar = std::move(data);
    return true;
}

// data as one gzip member.
bool gzipped(const QByteArray &data, QByteArray *compressed, QString *errorText)
{
    QByteArray result;
    ArchivePtr a(archive_write_new());
    if (archive_write_add_filter_gzip(a.get()) != ARCHIVE_OK || archive_write_set_format_raw(a.get()) != ARCHIVE_OK
        || archive_write_set_bytes_in_last_block(a.get(), 1) != ARCHIVE_OK
        || archive_write_open(a.get(), &result, nullptr, appendToByteArray, nullptr) != ARCHIVE_OK) {
        return fail(errorText, archiveError(a.get()));
    }
    std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
    archive_entry_set_pathname(entry.get(), "data");
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_size(entry.get(), data.size());
    if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK
        || archive_write_data(a.get(), data.constData(), static_cast<size_t>(data.size())) != data.size() || archive_write_close(a.get()) != ARCHIVE_OK) {
        return fail(errorText, archiveError(a.get()));
    }
    *compressed = std::move(result);
    return true;
}
} // namespace

namespace ConfigArchive
{
QByteArray sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

bool isManagedName(const QString &name)
{
    return fixedNames().contains(name) || isPerEventName(name);
}

QStringList presentNames()
{
    QStringList names;
    const QStringList candidates = fixedNames() + presentPerEventNames();
    for (const QString &name : candidates) {
        if (QFileInfo::exists(placedEntry(name))) {
            names << name;
        }
    }
    return names;
}

bool readPresent(Present *present, QString *errorText)
{
    const QStringList names = presentNames();
    Present read;
    read.names = names;
    qint64 total = 0;
    for (const QString &name : names) {
        const QString path = placedEntry(name);
        const FileRead::Result file = FileRead::regular(path, MaxEntrySize);
        if (!file.ok) {
            return fail(errorText, FileRead::describe(path, file));
        }
        total += file.data.size();
        // What could not be read back is not written.
        if (total > MaxTotalSize) {
            return fail(errorText, i18n("the configuration files together are larger than %1 MiB", MaxTotalSize / (1024 * 1024)));
        }
        read.files.insert(name, file.data);
        read.modified.insert(name, QFileInfo(path).lastModified());
    }
    *present = std::move(read);
    return true;
}

bool pack(const Present &present, QByteArray *archiveData, QString *errorText)
{
    QByteArray tar;
    return tarOf(present, &tar, errorText) && gzipped(tar, archiveData, errorText);
}

bool writeArchive(const QString &archivePath, const QByteArray &archiveData, QString *errorText)
{
    const UserFolder folder = targetFolder(archivePath);
    if (!folder.isOpen()) {
        return fail(errorText, folder.error());
    }
    // It holds the audit rules and root's notification file: root's alone,
    // wherever it goes.
    return folder.write(QFileInfo(archivePath).fileName(), archiveData, errorText, UserFolder::Mode::Private);
}

bool exportTo(const QString &archivePath, QString *errorText)
{
    Present present;
    if (!readPresent(&present, errorText)) {
        return false;
    }
    if (present.names.isEmpty()) {
        return fail(errorText, i18n("no configuration files to export"));
    }
    // The target is looked at before the key is made: an export that cannot
    // be written leaves the system as it was.
    const UserFolder folder = targetFolder(archivePath);
    const QString name = QFileInfo(archivePath).fileName();
    if (!folder.isOpen()) {
        return fail(errorText, folder.error());
    }
    const QString refused = folder.writeRefusal(name);
    if (!refused.isEmpty()) {
        return fail(errorText, refused);
    }
    // The signature closes the archive: the tar's end comes with it.
    QByteArray tar;
    QByteArray body;
    QByteArray signedArchive;
    return tarOf(present, &tar, errorText) && gzipped(tar.chopped(TarEndSize), &body, errorText) && ArchiveSignature::sign(body, &signedArchive, errorText)
        && folder.write(name, signedArchive, errorText, UserFolder::Mode::Private);
}

bool read(const QString &archivePath, Files *files, QString *errorText, Identity *identity)
{
    QByteArray data;
    return load(archivePath, &data, errorText) && unpack(data, archivePath, files, errorText, identity);
}

bool load(const QString &archivePath, QByteArray *archiveData, QString *errorText)
{
    // Opened once, never through a link, and read only when it is a regular file.
    const FileRead::Result read = FileRead::regularNoFollow(archivePath, MaxArchiveSize);
    if (!read.ok) {
        return fail(errorText, FileRead::describe(archivePath, read));
    }
    *archiveData = read.data;
    return true;
}

bool unpack(const QByteArray &archiveData, const QString &archivePath, Files *files, QString *errorText, Identity *identity)
{
    std::vector<Entry> entries;
    Identity read;
    read.sha256 = sha256(archiveData);
    if (!readArchive(archiveData, &entries, errorText)) {
        return false;
    }
    const auto manifest = std::find_if(entries.begin(), entries.end(), [](const Entry &entry) {
        return entry.name == ManifestName;
    });
    const bool hasManifest = manifest != entries.end();
    const QByteArray manifestData = hasManifest ? manifest->data : QByteArray();
    if (hasManifest) {
        entries.erase(manifest);
    }
    if (entries.empty()) {
        return fail(errorText, i18n("%1: holds no configuration files", archivePath));
    }
    Files found;
    for (Entry &entry : entries) {
        found.insert(entry.name, std::move(entry.data));
    }
    if (hasManifest && !readManifest(manifestData, found, &read.manifest, errorText)) {
        return false;
    }
    *files = std::move(found);
    if (identity) {
        *identity = read;
    }
    return true;
}
} // namespace ConfigArchive
