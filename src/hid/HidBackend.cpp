#include "HidBackend.h"

#include "HidrawBackend.h"

#include <atomic>

namespace {
std::atomic<CHidBackend*> g_pBackend{nullptr};
}

CHidBackend* GetHidBackend()
{
    CHidBackend* backend = g_pBackend.load();
    if (backend)
        return backend;
    static CHidrawBackend hidraw;
    return &hidraw;
}

void SetHidBackend(CHidBackend* backend)
{
    g_pBackend.store(backend);
}
