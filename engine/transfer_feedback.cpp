#include "engine/transfer_feedback.h"

#include "device/device_link.h"
#include "service/service_client.h"

namespace engine {

namespace {

struct NamedRequest {
    const char* file;
    const char* name;
    bool list;
};

constexpr NamedRequest kRequests[] = {
    {"mut.php", "mutation list", true},       {"off.php", "official list", true},
    {"per.php", "personal list", true},       {"D0Sync.php", "changes", true},
    {"upl0ad.php", "upload of your reports", false}, {"LoGon.php", "logon", false},
    {"Updates.php", "update count", false},   {"Information.php", "information messages", false},
};

constexpr std::uint64_t kLargeCopy = 100000;

std::string FileOf(const std::string& path) {
    const std::string noQuery = path.substr(0, path.find('?'));
    const std::size_t slash = noQuery.rfind('/');
    return slash == std::string::npos ? noQuery : noQuery.substr(slash + 1);
}

const NamedRequest* Find(const std::string& path) {
    const std::string file = FileOf(path);
    for (const NamedRequest& r : kRequests) {
        if (file == r.file) return &r;
    }
    return nullptr;
}

}  // namespace

std::string TransferName(const std::string& path) {
    const NamedRequest* r = Find(path);
    return r != nullptr ? r->name : FileOf(path);
}

void ReportTransfers(CServiceClient& client, IProgressSink* progress) {
    if (progress == nullptr) {
        client.SetTransferObserver({});
        return;
    }
    client.SetTransferObserver([progress](const platform::inet::TransferState& state) {
        TransferProgress transfer;
        const NamedRequest* known = Find(state.path);
        transfer.what = known != nullptr ? known->name : FileOf(state.path);
        transfer.list = known != nullptr && known->list;
        transfer.bytes = state.received;
        transfer.expected = state.expected;
        transfer.seconds = state.seconds;
        transfer.finished = state.finished;
        progress->SetTransfer(transfer);
    });
}

void ReportTransfers(CDeviceLink& link, IProgressSink* progress) {
    if (progress == nullptr) {
        link.SetTransferObserver({});
        return;
    }
    link.SetTransferObserver([progress](const CDeviceLink::Transfer& copy) {
        TransferProgress transfer;
        const std::size_t slash = copy.deviceFile.rfind('\\');
        transfer.what = (slash == std::string::npos ? copy.deviceFile : copy.deviceFile.substr(slash + 1)) +
                        (copy.toDevice ? " to the device" : " from the device");
        // A camera file is worth a line of its own; the stop program and the reports are not.
        transfer.list = copy.total >= kLargeCopy;
        transfer.bytes = copy.bytes;
        transfer.expected = copy.total;
        transfer.seconds = copy.seconds;
        transfer.finished = copy.finished;
        progress->SetTransfer(transfer);
    });
}

}  // namespace engine
