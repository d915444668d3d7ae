#pragma once
// The driver links: every automation object of the process holds one TDrvLink; all links share one
// TDrvLinks, which owns the process's only engine. The first link creates the links and the engine (on the
// calling thread, which becomes the engine's thread); the last one to leave destroys them, and the engine
// saves its settings and logical devices as it goes. The engine's announcements are fanned out to every
// link's handler, in joining order, on the engine's thread.
//
// Creation and release may happen on several threads at once: one process-wide lock orders them, so the
// engine is created exactly once and destroyed exactly once. An object released on another thread while a
// command is fanned out is either told while it still lives, with a reference that keeps it alive to the
// end of the call, or not at all.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "driver/engine/untEcrDrv.h"

class TDrvLink;

class TDrvLinks {
  public:
    // Called for every engine the links create; tests use it to give the engine its options.
    using TEngineFactory = std::function<std::unique_ptr<TEcrDrv>()>;

    ~TDrvLinks();
    TDrvLinks(const TDrvLinks&) = delete;
    TDrvLinks& operator=(const TDrvLinks&) = delete;

    TEcrDrv& Engine() { return *engine_; }
    // Number of links at this moment.
    std::size_t Count() const;

    // The links of the process, or null while no automation object exists.
    static TDrvLinks* Current();
    // Replaces the way engines are made (null: TEcrDrv with default options). Affects the next engine only.
    static void SetEngineFactory(TEngineFactory factory);

    // Made only by the first link to join.
    struct TKey {
      private:
        friend class TDrvLinks;
        TKey() = default;
    };
    TDrvLinks(TKey, std::unique_ptr<TEcrDrv> engine);

  private:
    friend class TDrvLink;

    // Joins `link` to the links of the process, creating them (and the engine) when there are none.
    // Throws what the engine's creation throws; nothing is left half-made.
    static void Join(TDrvLink& link);
    // Takes `link` out; the last one out destroys the links and the engine.
    static void Leave(TDrvLink& link);
    // Engine thread: calls every link's handler with the command number.
    void Broadcast(std::int32_t commandID);

    std::unique_ptr<TEcrDrv> engine_;
    std::vector<TDrvLink*> links_;
};

class TDrvLink {
  public:
    // What a link calls on its object for each received command.
    struct THandler {
        // Under the links' lock: takes a reference that keeps the object alive through one event; false when
        // its last reference is gone and it is being destroyed (then it is skipped).
        std::function<bool()> Retain;
        // After the event, outside the lock: gives that reference back (it may destroy the object).
        std::function<void()> Release;
        // Engine thread: the command, between the two.
        std::function<void(std::int32_t commandID)> Command;
    };

    // Joins the links of the process (the first link creates them and the engine) without a handler yet.
    // Throws when the engine cannot be created.
    TDrvLink();
    // Leaves the links; the last link destroys the engine.
    ~TDrvLink();
    TDrvLink(const TDrvLink&) = delete;
    TDrvLink& operator=(const TDrvLink&) = delete;

    // The shared engine.
    TEcrDrv& Engine() const { return links_->Engine(); }
    TDrvLinks* Links() const { return links_; }

    // Any thread; under the links' lock, so a command being fanned out sees the old handler or the new one,
    // whole. An object sets it once it is fully made, and no command reaches it before.
    void SetHandler(THandler handler);

  private:
    friend class TDrvLinks;
    TDrvLinks* links_ = nullptr;
    THandler handler_;
};
