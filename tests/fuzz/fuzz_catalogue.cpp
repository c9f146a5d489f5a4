// The notification catalogue read from a package file next to the sample ones.
#include "fuzzroot.h"
#include "testroot.h"

#include "notifications/notificationcatalogue.h"
#include "platform/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestRoot &root = fuzzRoot();
    root.writeFile(Paths::NotificationCatalogueDir + QStringLiteral("velta-event-watcher_fuzz.notifyrc"),
                   QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    NotificationCatalogue &catalogue = NotificationCatalogue::instance();
    catalogue.reset();
    catalogue.load();
    // Lookups of names the sample files hold and of ones they don't.
    catalogue.appName(QStringLiteral("userLogin"));
    catalogue.appName(QStringLiteral("fuzzEvent"));
    catalogue.eventId(QStringLiteral("Вход пользователя в систему"));
    return 0;
}
