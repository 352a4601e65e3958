#include "win/com_object.h"

namespace cartscope::win {

namespace {

std::atomic<long> g_moduleLocks{0};

}  // namespace

void lockModule() noexcept { ++g_moduleLocks; }
void unlockModule() noexcept { --g_moduleLocks; }
long moduleLockCount() noexcept { return g_moduleLocks.load(); }

HRESULT queryInterface(void* object, InterfaceTable table, REFIID iid, void** result) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (table.begin == table.end) return E_NOINTERFACE;
    const InterfaceEntry* found = IsEqualIID(iid, IID_IUnknown) ? table.begin : nullptr;
    for (const InterfaceEntry* entry = table.begin; !found && entry != table.end; ++entry)
        if (IsEqualIID(iid, *entry->iid)) found = entry;
    if (!found) return E_NOINTERFACE;
    auto* answered = static_cast<IUnknown*>(found->cast(object));
    answered->AddRef();
    *result = answered;
    return S_OK;
}

}  // namespace cartscope::win
