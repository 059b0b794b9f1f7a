#include "platform/linux/LinuxSound.h"

#include "commandline/CommandLine.h"

#include <QFile>
#include <atomic>
#include <canberra.h>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unordered_map>

namespace {

// Asynchronous sounds share one id, so a new one cuts off one still playing (of any player).
constexpr std::uint32_t AsyncId = 1;
// A launch waits for its sound, but not for ever.
constexpr auto SyncLimit = std::chrono::seconds(30);

// A synchronous play waiting for libcanberra's end-of-play callback. The callback runs on the
// driver's thread and may come after the waiter gave up, so it finds its waiter through a
// registry by id rather than through a pointer that may be gone.
struct Waiter {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    int error = CA_SUCCESS;
};

std::mutex registryMutex;
std::unordered_map<std::uint32_t, std::shared_ptr<Waiter>> &Registry() {
    static auto *registry = new std::unordered_map<std::uint32_t, std::shared_ptr<Waiter>>();
    return *registry;
}

void Finished(ca_context *, std::uint32_t id, int error, void *) {
    std::shared_ptr<Waiter> waiter;
    {
        std::lock_guard lock(registryMutex);
        const auto found = Registry().find(id);
        if (found == Registry().end())
            return;
        waiter = found->second;
    }
    std::lock_guard lock(waiter->mutex);
    waiter->done = true;
    waiter->error = error;
    waiter->ended.notify_all();
}

// The process's one libcanberra context, opened on first use and never destroyed. Destroying a
// context unloads its driver module, but the driver's playing threads are detached and still run
// a few instructions of that module after they report the end and after destroy stops waiting for
// them: unloading it then crashes the process. So nothing here ever unloads a driver, and the
// process ends with the context still open. Without a sound system the next play tries again.
ca_context *SharedContext() {
    static std::mutex mutex;
    static ca_context *shared = nullptr;
    std::lock_guard lock(mutex);
    if (shared)
        return shared;
    ca_context *context = nullptr;
    if (ca_context_create(&context) != CA_SUCCESS)
        return nullptr;
    ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Orvane", CA_PROP_APPLICATION_ID,
                            "io.orvane.Orvane", nullptr);
    // A context that did not open has no driver and so nothing playing: safe to destroy.
    if (ca_context_open(context) != CA_SUCCESS) {
        ca_context_destroy(context);
        return nullptr;
    }
    shared = context;
    return shared;
}

} // namespace

bool LinuxSound::PlayOne(const char *property, const QByteArray &value, bool asynchronous) {
    ca_context *context = SharedContext();
    if (!context)
        return false;
    ca_proplist *properties = nullptr;
    if (ca_proplist_create(&properties) != CA_SUCCESS)
        return false;
    ca_proplist_sets(properties, property, value.constData());
    // User files are not worth keeping in a sound server's cache; the theme's sounds are.
    ca_proplist_sets(properties, CA_PROP_CANBERRA_CACHE_CONTROL,
                     qstrcmp(property, CA_PROP_EVENT_ID) == 0 ? "volatile" : "never");

    bool played = false;
    if (asynchronous) {
        ca_context_cancel(context, AsyncId);
        played = ca_context_play_full(context, AsyncId, properties, nullptr, nullptr) == CA_SUCCESS;
    } else {
        static std::atomic<std::uint32_t> nextId{AsyncId + 1};
        std::uint32_t id = nextId++;
        if (id == AsyncId)
            id = nextId++;
        auto waiter = std::make_shared<Waiter>();
        {
            std::lock_guard lock(registryMutex);
            Registry()[id] = waiter;
        }
        if (ca_context_play_full(context, id, properties, Finished, nullptr) == CA_SUCCESS) {
            std::unique_lock lock(waiter->mutex);
            if (waiter->ended.wait_for(lock, SyncLimit, [&] { return waiter->done; })) {
                played = waiter->error == CA_SUCCESS;
            } else {
                lock.unlock();
                ca_context_cancel(context, id);
                played = true; // it did play, only too long
            }
        }
        std::lock_guard lock(registryMutex);
        Registry().erase(id);
    }
    ca_proplist_destroy(properties);
    return played;
}

bool LinuxSound::Play(const QString &file, bool asynchronous, bool useDefault) {
    const QString path = UnquotePath(file);
    // Only regular files reach the player: opening a FIFO or a device could block for ever.
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    const bool playable =
        !path.isEmpty() && ::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode);
    if (playable && PlayOne(CA_PROP_MEDIA_FILENAME, name, asynchronous))
        return true;
    return useDefault && PlayOne(CA_PROP_EVENT_ID, QByteArrayLiteral("bell"), asynchronous);
}
