#include "driver/automation/untDrvLink.h"

#include <algorithm>
#include <utility>

namespace {

// Guards the process-wide reference, the member list and the engine factory.
std::mutex& LinksLock() {
    static std::mutex lock;
    return lock;
}

std::unique_ptr<TDrvLinks> g_links;
TDrvLinks::TEngineFactory g_engineFactory;

}  // namespace

TDrvLinks::TDrvLinks(TKey, std::unique_ptr<TEcrDrv> engine) : engine_(std::move(engine)) {
    engine_->OnCommand = [this](TEcrDrv&, std::int32_t id) { Broadcast(id); };
}

TDrvLinks::~TDrvLinks() {
    engine_->OnCommand = nullptr;
}

std::size_t TDrvLinks::Count() const {
    std::lock_guard guard(LinksLock());
    return links_.size();
}

TDrvLinks* TDrvLinks::Current() {
    std::lock_guard guard(LinksLock());
    return g_links.get();
}

void TDrvLinks::SetEngineFactory(TEngineFactory factory) {
    std::lock_guard guard(LinksLock());
    g_engineFactory = std::move(factory);
}

void TDrvLinks::Join(TDrvLink& link) {
    std::lock_guard guard(LinksLock());
    if (g_links == nullptr) {
        std::unique_ptr<TEcrDrv> engine = g_engineFactory ? g_engineFactory() : std::make_unique<TEcrDrv>();
        g_links = std::make_unique<TDrvLinks>(TKey{}, std::move(engine));
    }
    g_links->links_.push_back(&link);
    link.links_ = g_links.get();
}

void TDrvLinks::Leave(TDrvLink& link) {
    std::unique_ptr<TDrvLinks> last;
    {
        std::lock_guard guard(LinksLock());
        TDrvLinks* links = std::exchange(link.links_, nullptr);
        if (links == nullptr) return;
        std::erase(links->links_, &link);
        if (links->links_.empty()) last = std::move(g_links);
    }
    // The engine goes outside the lock: it saves files and joins port threads, and another thread may
    // meanwhile create a fresh engine of its own.
    last.reset();
}

void TDrvLinks::Broadcast(std::int32_t commandID) {
    // The members are counted once, as they stood when the command arrived. Each is looked up again under
    // the lock before its call, because a handler may release objects, and another thread may release one
    // meanwhile: a link gone by then is skipped.
    std::vector<TDrvLink*> members;
    {
        std::lock_guard guard(LinksLock());
        members = links_;
    }
    for (TDrvLink* member : members) {
        TDrvLink::THandler handler;
        {
            std::lock_guard guard(LinksLock());
            // A handler that released the last object destroyed these links (and the engine) already.
            if (g_links.get() != this) return;
            if (std::find(links_.begin(), links_.end(), member) == links_.end()) continue;
            // The member cannot leave while the lock is held: its object is alive, and the reference taken
            // here keeps it so until the call below has returned.
            if (!member->handler_.Command || !member->handler_.Retain()) continue;
            handler = member->handler_;
        }
        struct TReleaseAfter {
            const std::function<void()>& release;
            ~TReleaseAfter() { release(); }
        } releaseAfter{handler.Release};
        handler.Command(commandID);
    }
}

TDrvLink::TDrvLink() {
    TDrvLinks::Join(*this);
}

void TDrvLink::SetHandler(THandler handler) {
    std::lock_guard guard(LinksLock());
    handler_ = std::move(handler);
}

TDrvLink::~TDrvLink() {
    TDrvLinks::Leave(*this);
}
