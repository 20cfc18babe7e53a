// The update check on canned replies: the fuzzed bytes are the hosts list (FUZZ_VERSION_FILE 0)
// or the version file that a valid hosts list leads to (FUZZ_VERSION_FILE 1).
#include "cannedreply.h"
#include "fuzzapplication.h"
#include "updatecheckmanager.h"

#include <QEventLoop>

namespace {

const QByteArray validHostsList =
    "<HOSTS><HOST><NAME>UpdateServer</NAME><ADDRESS>updates.example.com</ADDRESS></HOST></HOSTS>\n";
const QByteArray validVersionFile =
    "#define APPLICATION_VERSION \"3.1.30200\"\n#define P4CHANGELISTVAR \"30200\"\n";

// Serves the first request with the hosts list and every later one with the version file.
class CannedUpdateCheck : public UpdateCheckManager
{
public:
    CannedUpdateCheck(const QByteArray &hostsList, const QByteArray &versionFile)
        : UpdateCheckManager(QStringLiteral("v.3.0."), QStringLiteral("30108"))
        , hostsList(hostsList)
        , versionFile(versionFile)
    {
    }

protected:
    QNetworkReply *createRequest(Operation, const QNetworkRequest &request, QIODevice *) override
    {
        ++requests;
        return new CannedReply(request, requests == 1 ? hostsList : versionFile, this);
    }

private:
    QByteArray hostsList;
    QByteArray versionFile;
    int requests = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzDataDirectory();
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    CannedUpdateCheck check(FUZZ_VERSION_FILE ? validHostsList : input, FUZZ_VERSION_FILE ? input : validVersionFile);
    check.setHostsListLocations({QStringLiteral("hosts.example.com/vemo-hosts.xml")});
    QEventLoop loop;
    QObject::connect(&check, &UpdateCheckManager::checkEnded, &loop, &QEventLoop::quit);
    check.start();
    if (!check.hasEnded())
        loop.exec();
    return 0;
}
