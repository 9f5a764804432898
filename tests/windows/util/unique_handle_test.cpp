// The handle owners on real kernel objects: who closes what, and when. A
// handle is known to be closed when GetHandleInformation refuses it with
// ERROR_INVALID_HANDLE; duplicates of one event tell two handles to the same
// object apart.
#include "util/unique_handle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace zel {
namespace {

HANDLE NewEvent() {
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(event, nullptr);
    return event;
}

bool IsOpen(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

bool IsClosed(HANDLE handle) {
    DWORD flags = 0;
    return !::GetHandleInformation(handle, &flags) && ::GetLastError() == ERROR_INVALID_HANDLE;
}

// Both handles lead to one event: setting it through one is seen through the other.
bool SameEvent(HANDLE a, HANDLE b) {
    ::ResetEvent(a);
    if (::WaitForSingleObject(b, 0) != WAIT_TIMEOUT) return false;
    ::SetEvent(a);
    const bool same = ::WaitForSingleObject(b, 0) == WAIT_OBJECT_0;
    ::ResetEvent(a);
    return same;
}

TEST(UniqueKernelHandle, NullAndInvalidHandleValueMeanNone) {
    const UniqueKernelHandle none;
    EXPECT_EQ(none.get(), nullptr);
    EXPECT_FALSE(none);
    EXPECT_FALSE(UniqueKernelHandle(INVALID_HANDLE_VALUE));

    // CreateFileW reports failure with INVALID_HANDLE_VALUE, not NULL.
    UniqueKernelHandle file(::CreateFileW(L"C:\\zel-no-such-folder\\missing.txt", GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(file);

    UniqueKernelHandle event(NewEvent());
    EXPECT_TRUE(event);
}

// The moved-from owner is destroyed first: had it kept the handle, it would
// close the one the new owner still holds.
TEST(UniqueKernelHandle, MoveConstructionHandsTheHandleOver) {
    const HANDLE a = NewEvent();
    std::optional<UniqueKernelHandle> from(std::in_place, a);
    {
        UniqueKernelHandle to(std::move(*from));
        EXPECT_EQ(to.get(), a);
        EXPECT_FALSE(*from);
        from.reset();
        EXPECT_TRUE(IsOpen(a));
    }
    EXPECT_TRUE(IsClosed(a));
}

TEST(UniqueKernelHandle, MoveAssignmentClosesTheOldHandleOnce) {
    const HANDLE a = NewEvent();
    const HANDLE b = NewEvent();
    std::optional<UniqueKernelHandle> from(std::in_place, b);
    {
        UniqueKernelHandle to(a);
        to = std::move(*from);
        EXPECT_TRUE(IsClosed(a));
        EXPECT_EQ(to.get(), b);
        EXPECT_FALSE(*from);
        from.reset();
        EXPECT_TRUE(IsOpen(b));

        // Assigning an empty owner closes what was held and leaves nothing.
        UniqueKernelHandle empty;
        to = std::move(empty);
        EXPECT_TRUE(IsClosed(b));
        EXPECT_FALSE(to);
    }
}

TEST(UniqueKernelHandle, SelfMoveAssignmentKeepsTheHandle) {
    const HANDLE a = NewEvent();
    {
        UniqueKernelHandle owner(a);
        UniqueKernelHandle& alias = owner;
        owner = std::move(alias);
        EXPECT_EQ(owner.get(), a);
        EXPECT_TRUE(IsOpen(a));
    }
    EXPECT_TRUE(IsClosed(a));
}

TEST(UniqueKernelHandle, ReleaseHandsOwnershipToTheCaller) {
    const HANDLE a = NewEvent();
    HANDLE released = nullptr;
    {
        UniqueKernelHandle owner(a);
        released = owner.release();
        EXPECT_EQ(owner.get(), nullptr);
        EXPECT_FALSE(owner);
    }
    EXPECT_EQ(released, a);
    EXPECT_TRUE(IsOpen(a));
    EXPECT_TRUE(::CloseHandle(a));
}

TEST(UniqueKernelHandle, ResetClosesWhatWasHeld) {
    const HANDLE a = NewEvent();
    const HANDLE b = NewEvent();
    UniqueKernelHandle owner(a);
    owner.reset(b);
    EXPECT_TRUE(IsClosed(a));
    EXPECT_EQ(owner.get(), b);
    EXPECT_TRUE(IsOpen(b));
    owner.reset();
    EXPECT_TRUE(IsClosed(b));
    EXPECT_FALSE(owner);
    owner.reset();  // nothing held: nothing to close
    EXPECT_FALSE(owner);
}

// put() is the out parameter of a call that opens a handle: what the owner
// held is closed first, and the owner then holds the new handle.
TEST(UniqueKernelHandle, PutClosesWhatWasHeld) {
    const HANDLE event = NewEvent();
    const HANDLE old = NewEvent();
    {
        UniqueKernelHandle owner(old);
        // Checked before the slot is filled: the new handle may well take the
        // closed one's value.
        HANDLE* slot = owner.put();
        EXPECT_TRUE(IsClosed(old));
        EXPECT_EQ(*slot, nullptr);
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), event, ::GetCurrentProcess(), slot, 0, FALSE,
                                      DUPLICATE_SAME_ACCESS));
        ASSERT_TRUE(owner);
        EXPECT_NE(owner.get(), event);
        EXPECT_TRUE(SameEvent(event, owner.get()));
    }
    EXPECT_TRUE(IsOpen(event));
    EXPECT_TRUE(::CloseHandle(event));
}

// Find handles fail as INVALID_HANDLE_VALUE, which is therefore the empty value.
TEST(UniqueFindHandle, InvalidValuesAndARealSearch) {
    const UniqueFindHandle none;
    EXPECT_EQ(none.get(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none);
    EXPECT_FALSE(UniqueFindHandle(nullptr));

    WIN32_FIND_DATAW data{};
    UniqueFindHandle missing(::FindFirstFileW(L"C:\\zel-no-such-folder\\*", &data));
    EXPECT_FALSE(missing);

    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    UniqueFindHandle search(::FindFirstFileW((std::wstring(system) + L"\\*.dll").c_str(), &data));
    ASSERT_TRUE(search);
    EXPECT_TRUE(::FindNextFileW(search.get(), &data));
    const HANDLE released = search.release();
    EXPECT_EQ(search.get(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(search);
    EXPECT_TRUE(::FindClose(released));
}

// Both handles of a started process are closed, by put() and by the destructor.
TEST(UniqueProcessInformation, ClosesBothHandles) {
    const HANDLE process = NewEvent();
    const HANDLE thread = NewEvent();
    const HANDLE nextProcess = NewEvent();
    const HANDLE nextThread = NewEvent();
    {
        UniqueProcessInformation info;
        EXPECT_EQ(info.process(), nullptr);
        PROCESS_INFORMATION* slot = info.put();
        slot->hProcess = process;
        slot->hThread = thread;
        EXPECT_EQ(info.process(), process);

        slot = info.put();
        EXPECT_TRUE(IsClosed(process));
        EXPECT_TRUE(IsClosed(thread));
        EXPECT_EQ(info.get().hProcess, nullptr);
        EXPECT_EQ(info.get().hThread, nullptr);
        slot->hProcess = nextProcess;
        slot->hThread = nextThread;
    }
    EXPECT_TRUE(IsClosed(nextProcess));
    EXPECT_TRUE(IsClosed(nextThread));
}

// An object that counts its releases, to see that ComPtr releases exactly once.
class CountedObject : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
};

TEST(ComPtr, ReleasesOnceOnPutResetAndDestruction) {
    CountedObject first, second, third;
    {
        ComPtr<IUnknown> pointer;
        *pointer.put() = &first;
        *pointer.put() = &second;
        EXPECT_EQ(first.references, 0u);
        EXPECT_EQ(pointer.get(), &second);
        pointer.reset();
        EXPECT_EQ(second.references, 0u);
        EXPECT_FALSE(pointer);
        pointer.reset();
        *reinterpret_cast<IUnknown**>(pointer.putVoid()) = &third;
    }
    EXPECT_EQ(first.references, 0u);
    EXPECT_EQ(second.references, 0u);
    EXPECT_EQ(third.references, 0u);
}

// Whether the calling thread is in a single-threaded apartment: CoInitializeEx
// answers S_FALSE when it already is; every success is balanced at once.
bool InSingleThreadedApartment() {
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) ::CoUninitialize();
    return hr == S_FALSE;
}

struct ApartmentObservations {
    bool before = true;
    bool insideOuter = false;
    bool afterRefusedInner = false;
    bool afterEarlyUninitialize = false;
    bool after = true;
};

// On a thread of its own, so that no other test's COM state is involved.
DWORD WINAPI ObserveApartments(void* parameter) {
    auto& seen = *static_cast<ApartmentObservations*>(parameter);
    seen.before = InSingleThreadedApartment();
    {
        ComApartment outer;
        seen.insideOuter = InSingleThreadedApartment();
        {
            // The thread is already single-threaded: the multithreaded request
            // is refused and must not end the outer apartment.
            ComApartment refused(COINIT_MULTITHREADED);
        }
        seen.afterRefusedInner = InSingleThreadedApartment();
        {
            // Ended early, then destroyed: one CoUninitialize, not two.
            ComApartment nested;
            nested.uninitialize();
        }
        seen.afterEarlyUninitialize = InSingleThreadedApartment();
    }
    seen.after = InSingleThreadedApartment();
    return 0;
}

TEST(ComApartment, BalancesOnlyWhatItInitialized) {
    ApartmentObservations seen;
    const UniqueKernelHandle thread(::CreateThread(nullptr, 0, ObserveApartments, &seen, 0, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(::WaitForSingleObject(thread.get(), 30000), WAIT_OBJECT_0);
    EXPECT_FALSE(seen.before);
    EXPECT_TRUE(seen.insideOuter);
    EXPECT_TRUE(seen.afterRefusedInner);
    EXPECT_TRUE(seen.afterEarlyUninitialize);
    EXPECT_FALSE(seen.after);
}

}  // namespace
}  // namespace zel
