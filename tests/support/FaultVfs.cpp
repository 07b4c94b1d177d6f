#include "FaultVfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

namespace FaultVfs {
namespace {

struct State {
    bool armed = false;
    int target = 0;
    int count = 0;
    bool persist = false;
    bool fired = false;
    Failure failure = Failure::DiskFull;
};
State g_state;
// An import writes from more than one thread (its undo store's writer).
std::mutex g_mutex;
sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_vfs;
sqlite3_io_methods g_methods[4];  // one per version of the real file's methods

struct File {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

// The result an operation of this kind gets now: SQLITE_OK to go ahead.
int Injected(int ioError) {
    std::lock_guard lock(g_mutex);
    if (!g_state.armed) return SQLITE_OK;
    ++g_state.count;
    if (g_state.count == g_state.target || (g_state.persist && g_state.count > g_state.target)) {
        g_state.fired = true;
        return g_state.failure == Failure::DiskFull ? SQLITE_FULL : ioError;
    }
    return SQLITE_OK;
}

int Close(sqlite3_file* file) {
    sqlite3_file* real = Real(file);
    const int rc = real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
    return rc;
}
int Read(sqlite3_file* f, void* data, int amount, sqlite3_int64 offset) {
    return Real(f)->pMethods->xRead(Real(f), data, amount, offset);
}
int Write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
    if (int rc = Injected(SQLITE_IOERR_WRITE)) return rc;
    return Real(f)->pMethods->xWrite(Real(f), data, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
    if (int rc = Injected(SQLITE_IOERR_TRUNCATE)) return rc;
    return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) {
    if (int rc = Injected(SQLITE_IOERR_FSYNC)) return rc;
    return Real(f)->pMethods->xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
    return Real(f)->pMethods->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) {
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) {
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int deleteFlag) {
    return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}
int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
    return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* p) {
    return Real(f)->pMethods->xUnfetch(Real(f), offset, p);
}

void MakeMethods() {
    for (int version = 1; version <= 3; ++version) {
        sqlite3_io_methods& m = g_methods[version];
        m.iVersion = version;
        m.xClose = Close;
        m.xRead = Read;
        m.xWrite = Write;
        m.xTruncate = Truncate;
        m.xSync = Sync;
        m.xFileSize = FileSize;
        m.xLock = Lock;
        m.xUnlock = Unlock;
        m.xCheckReservedLock = CheckReservedLock;
        m.xFileControl = FileControl;
        m.xSectorSize = SectorSize;
        m.xDeviceCharacteristics = DeviceCharacteristics;
        if (version >= 2) {
            m.xShmMap = ShmMap;
            m.xShmLock = ShmLock;
            m.xShmBarrier = ShmBarrier;
            m.xShmUnmap = ShmUnmap;
        }
        if (version >= 3) {
            m.xFetch = Fetch;
            m.xUnfetch = Unfetch;
        }
    }
}

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* wrapper = reinterpret_cast<File*>(file);
    wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
    std::memset(wrapper->real, 0, static_cast<size_t>(g_real->szOsFile));
    const int rc = g_real->xOpen(g_real, name, wrapper->real, flags, outFlags);
    const sqlite3_io_methods* real = wrapper->real->pMethods;
    wrapper->base.pMethods = real ? &g_methods[std::min(std::max(real->iVersion, 1), 3)] : nullptr;
    return rc;
}

}  // namespace

void Install() {
    if (!g_real) {
        g_real = sqlite3_vfs_find(nullptr);
        MakeMethods();
        // Everything but opening a file is the real VFS's own; its functions
        // read only fields that the copy keeps.
        g_vfs = *g_real;
        g_vfs.pNext = nullptr;
        g_vfs.szOsFile = static_cast<int>(sizeof(File)) + g_real->szOsFile;
        g_vfs.zName = "fault";
        g_vfs.xOpen = Open;
        sqlite3_vfs_register(&g_vfs, 1);
    }
    Disarm();
}

void Arm(int n, Failure failure, bool persist) {
    std::lock_guard lock(g_mutex);
    g_state = State{true, n, 0, persist, false, failure};
}

void Disarm() {
    std::lock_guard lock(g_mutex);
    g_state.armed = false;
}

bool Fired() {
    std::lock_guard lock(g_mutex);
    return g_state.fired;
}
int Operations() {
    std::lock_guard lock(g_mutex);
    return g_state.count;
}

}  // namespace FaultVfs
