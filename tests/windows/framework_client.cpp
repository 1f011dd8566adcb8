// A front end of HalcyonDLL.dll as the application framework builds them,
// compiled for the framework compiler's C++ ABI (see halcyon_dll.cmake): its
// string class follows the framework's layout (an 8-byte pointer to the text,
// a 24-byte header before it, a manager with five methods) and is passed by
// value, so each verb gets the address of a copy that it must release. The
// manager counts every Allocate and Free and keeps the set of live blocks.
// No C++ runtime: no new/delete, no static constructors, no pure virtuals.
#include "framework_client.h"

using int32 = int;
using uint32 = unsigned int;
using int64 = long long;
using uint64 = unsigned long long;
using uintptr = unsigned long long;
using size_t = decltype(sizeof 0);

extern "C" {
__declspec(dllimport) void *__stdcall LoadLibraryW(const wchar_t *name);
__declspec(dllimport) void *__stdcall GetProcAddress(void *module, const char *name);
void *malloc(size_t bytes);
void *realloc(void *block, size_t bytes);
void free(void *block);
}

namespace {

void Check(bool ok, const char *what)
{
    if (!ok)
        FcReport(what);
}

int Length(const wchar_t *s)
{
    int n = 0;
    while (s[n])
        ++n;
    return n;
}

bool Same(const wchar_t *a, const wchar_t *b)
{
    for (; *a && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

int AddRef(volatile int &count, int delta) { return __atomic_add_fetch(&count, delta, __ATOMIC_SEQ_CST); }

class Manager;
struct Header {
    Manager *manager;
    int length;
    int allocated;
    volatile int refs;
    int padding;
};
static_assert(sizeof(Header) == 24, "the header's layout");

// The framework's manager interface; bodies only so that nothing is pure.
class Manager {
public:
    constexpr Manager() = default;
    virtual Header *Allocate(int, int) { return nullptr; }
    virtual void Free(Header *) {}
    virtual Header *Reallocate(Header *, int, int) { return nullptr; }
    virtual Header *GetNilString() { return nullptr; }
    virtual Manager *Clone() { return this; }
};

// The front end's manager: malloc'd blocks, every call counted, the live
// blocks kept; freeing a block it does not hold counts as a bad free.
class CountingManager : public Manager {
public:
    constexpr CountingManager() = default;

    Header *Allocate(int chars, int charSize) override
    {
        Lock();
        ++allocates;
        Header *h = static_cast<Header *>(malloc(sizeof(Header) + (size_t(chars) + 1) * size_t(charSize)));
        *h = Header{this, 0, chars, 1, 0};
        reinterpret_cast<wchar_t *>(h + 1)[0] = 0;
        Add(h);
        Unlock();
        return h;
    }
    void Free(Header *h) override
    {
        Lock();
        if (h == &nil.header || !Remove(h)) {
            ++badFrees;
        } else {
            ++frees;
            free(h);
        }
        Unlock();
    }
    Header *Reallocate(Header *h, int chars, int charSize) override
    {
        Lock();
        ++reallocates;
        Remove(h);
        h = static_cast<Header *>(realloc(h, sizeof(Header) + (size_t(chars) + 1) * size_t(charSize)));
        h->allocated = chars;
        Add(h);
        Unlock();
        return h;
    }
    Header *GetNilString() override
    {
        AddRef(nil.header.refs, 1);
        return &nil.header;
    }

    int Live() const { return live; }

    struct NilBlock {
        Header header;
        wchar_t text[4];
    };
    NilBlock nil{{this, 0, 0, 2, 0}, {}};
    int allocates = 0;
    int frees = 0;
    int reallocates = 0;
    int badFrees = 0;

private:
    void Lock()
    {
        while (__atomic_exchange_n(&lock, 1, __ATOMIC_ACQUIRE)) {
        }
    }
    void Unlock() { __atomic_store_n(&lock, 0, __ATOMIC_RELEASE); }
    void Add(Header *h)
    {
        if (live < kMaxLive)
            blocks[live++] = h;
    }
    bool Remove(Header *h)
    {
        for (int i = 0; i < live; ++i) {
            if (blocks[i] == h) {
                blocks[i] = blocks[--live];
                return true;
            }
        }
        return false;
    }

    static constexpr int kMaxLive = 256;
    Header *blocks[kMaxLive] = {};
    int live = 0;
    int lock = 0;
};

constinit CountingManager manager;

// The framework's string: copies share the block (count + 1) unless it is
// locked; the last release frees it through its own manager.
class Str {
public:
    Str() : text_(Text(manager.GetNilString())) {}
    Str(const wchar_t *s)
    {
        const int n = Length(s);
        Header *h = n == 0 ? manager.GetNilString() : manager.Allocate(n, 2);
        wchar_t *t = Text(h);
        for (int i = 0; i <= n; ++i)
            t[i] = s[i];
        h->length = n;
        text_ = t;
    }
    Str(const Str &o) : text_(o.Share()) {}
    Str &operator=(const Str &o)
    {
        wchar_t *t = o.Share();
        Release();
        text_ = t;
        return *this;
    }
    ~Str() { Release(); }

    // Appends copy-on-write: a shared block is copied into a new one of its
    // manager, an owned one grows through Reallocate.
    void Append(const wchar_t *s)
    {
        const int add = Length(s), n = Block()->length;
        Manager *m = Block()->manager;
        if (Block()->refs > 1) {
            Header *h = m->Clone()->Allocate(n + add, 2);
            for (int i = 0; i < n; ++i)
                Text(h)[i] = text_[i];
            Release();
            text_ = Text(h);
        } else if (Block()->allocated < n + add) {
            text_ = Text(m->Reallocate(Block(), n + add, 2));
        }
        for (int i = 0; i <= add; ++i)
            text_[n + i] = s[i];
        Block()->length = n + add;
    }

    const wchar_t *c_str() const { return text_; }
    Header *Block() const { return reinterpret_cast<Header *>(text_) - 1; }
    int Refs() const { return Block()->refs; }
    bool Is(const wchar_t *s) const { return Same(text_, s) && Block()->length == Length(s); }

private:
    static wchar_t *Text(Header *h) { return reinterpret_cast<wchar_t *>(h + 1); }
    wchar_t *Share() const
    {
        if (Block()->refs >= 0) {
            AddRef(Block()->refs, 1);
            return text_;
        }
        Str copy(text_);
        return copy.Share();
    }
    void Release()
    {
        Header *h = Block();
        if (AddRef(h->refs, -1) <= 0)
            h->manager->Free(h);
    }

    wchar_t *text_;
};

// The verbs in one form: S is the string argument, L the progress label.
template <typename S, typename L>
struct Verbs {
    using Progress = int32 (*)(int32, int32, L, uintptr);
    uint32 (*MakeIniX)(S, S, S, S, uint32, uint64);
    uint32 (*MakeIniFromMcode)(S, S, S, uint64, void *, S);
    uint32 (*IdentifyIdf)(S, S, S, S, S, uint64);
    int32 (*ScrambleIdf)(S, S, uint64);
    int32 (*LoadImgX)(S, S, S, S, S, S, uint64, void *, void *, S, S);
    int32 (*CompareBlid)(S, S);
    int32 (*CompareReleaseid)(S, S);
    int32 (*ImgCopyX)(S, S, S, S, S, uint64, uint64);
    int32 (*GetFoundationImage)(S, S, S, S, S, uint64, S, void *, void *, S);
    int32 (*CopyDiscToDisk)(S, S, S, S, S, S, uint64, void *, void *, S, S);
    int32 (*CompareNrvIniToHalIni)(S, S, uint64);
    int32 (*GetMiniCDriveSize)(S, S, S, unsigned char *, int32 *, int32 *);
    int32 (*ModCopyX)(S, S, S, S, S, S, S, S, uint64, uint64);
    int32 (*ModExtractX)(S, S, S, S, S, S, S, S, S, uint64, uint64, uint64);
    int32 (*ModSetupX)(S, S, S, S, S, S, S, S, S, S, S, int32, uint64, Progress, uintptr, S, uint32 *);
    int32 (*AppSetupX)(S, S, S, S, S, S, S, S, S, S, int32, uint64, Progress, uintptr);
    int32 (*SingleAppSetupX_s)(S, S, S, S, S, S, S, S, S, uint64, unsigned char *, uint32 *, wchar_t *, uint32, bool);
    int32 (*ExecuteProgram)(S, S, S, int32, uint32, uint32 *, S);
    bool (*IsCleanSweep)(S);
    int32 (*IsLastModuleRecoverable)();
    int32 (*EpicCrcCheck)(S, S, S, S, uint64);
    int32 (*ValidateRegistry)(S, S, S, uintptr);
};

struct WideVerbs : Verbs<const wchar_t *, const wchar_t *> {
    uint32 (*ReadIdfForOSArchCheck)(wchar_t *, uint32, const wchar_t *, const wchar_t *, uint64, uint64,
                                    const wchar_t *);
    int32 (*GetWimTagValue)(const wchar_t *, const wchar_t *, wchar_t *, uint32);
};
struct ObjectVerbs : Verbs<Str, Str> {
    uint32 (*ReadIdfForOSArchCheck)(Str &, Str, Str, uint64, uint64, Str);
    int32 (*GetWimTagValue)(Str, Str, Str &);
};

WideVerbs wide;
ObjectVerbs object;
int missing;

template <typename F>
void Load(void *dll, const char *name, bool w, F &f)
{
    char full[64];
    int n = 0;
    for (; name[n] && n < 60; ++n)
        full[n] = name[n];
    if (w)
        full[n++] = 'W';
    full[n] = 0;
    f = reinterpret_cast<F>(GetProcAddress(dll, full));
    if (!f) {
        Check(false, name);
        ++missing;
    }
}

#define LOAD_BOTH(verb)                                                                                          \
    Load(dll, #verb, true, wide.verb);                                                                           \
    Load(dll, #verb, false, object.verb)

bool LoadVerbs()
{
    void *dll = LoadLibraryW(L"HalcyonDLL.dll");
    if (!dll) {
        Check(false, "HalcyonDLL.dll loads");
        return false;
    }
    LOAD_BOTH(MakeIniX);
    LOAD_BOTH(MakeIniFromMcode);
    LOAD_BOTH(IdentifyIdf);
    LOAD_BOTH(ReadIdfForOSArchCheck);
    LOAD_BOTH(ScrambleIdf);
    LOAD_BOTH(LoadImgX);
    LOAD_BOTH(GetWimTagValue);
    LOAD_BOTH(CompareBlid);
    LOAD_BOTH(CompareReleaseid);
    LOAD_BOTH(ImgCopyX);
    LOAD_BOTH(GetFoundationImage);
    LOAD_BOTH(CopyDiscToDisk);
    LOAD_BOTH(CompareNrvIniToHalIni);
    LOAD_BOTH(GetMiniCDriveSize);
    LOAD_BOTH(ModCopyX);
    LOAD_BOTH(ModExtractX);
    LOAD_BOTH(ModSetupX);
    LOAD_BOTH(AppSetupX);
    LOAD_BOTH(SingleAppSetupX_s);
    LOAD_BOTH(ExecuteProgram);
    LOAD_BOTH(IsCleanSweep);
    LOAD_BOTH(IsLastModuleRecoverable);
    LOAD_BOTH(EpicCrcCheck);
    LOAD_BOTH(ValidateRegistry);
    return missing == 0;
}

// The labels a progress callback saw, joined by '|'.
struct Labels {
    wchar_t text[512];
    int used;
    int calls;
    void Add(const wchar_t *label)
    {
        ++calls;
        for (int i = 0; label[i] && used < 500; ++i)
            text[used++] = label[i];
        text[used++] = L'|';
        text[used] = 0;
    }
};

int32 WideProgress(int32, int32, const wchar_t *label, uintptr user)
{
    reinterpret_cast<Labels *>(user)->Add(label ? label : L"(null)");
    return 0;
}

// What the string-object callback learned: each label must come owned
// (count 1) from the DLL's manager; the first one is kept past the call.
struct ObjectLabels : Labels {
    bool allOwned = true;
    bool allForeign = true;
    Str kept;
    const Str *held = nullptr;  // a string the caller holds: shared with the verb's copy
    bool heldShared = true;
};

int32 ObjectProgress(int32, int32, Str label, uintptr user)
{
    auto *seen = reinterpret_cast<ObjectLabels *>(user);
    seen->allOwned = seen->allOwned && label.Refs() == 1;
    seen->allForeign = seen->allForeign && label.Block()->manager != &manager;
    seen->heldShared = seen->heldShared && (!seen->held || seen->held->Refs() == 2);
    if (seen->calls == 0)
        seen->kept = label;
    seen->Add(label.c_str());
    return 0;
}

// One form of a call: the strings it passes, its callback, its outputs.
struct WidePass {
    WideVerbs &fn;
    Labels labels{};
    wchar_t message[261] = {};
    uint32 exitCode = 0;
    unsigned char warning = 0;
    int32 size = 0, sizeNoRecovery = 0;
    const wchar_t *S(const wchar_t *text) { return text; }
    WideVerbs::Progress Progress() { return WideProgress; }
    uintptr User() { return reinterpret_cast<uintptr>(&labels); }
};

// Strings either held by the caller (the verb gets a copy, count 2) or
// made for the call alone (the verb's release frees them).
struct ObjectPass {
    ObjectPass(ObjectVerbs &verbs, bool temps) : fn(verbs), temporaries(temps) {}
    ObjectVerbs &fn;
    bool temporaries;
    ObjectLabels labels{};
    wchar_t message[261] = {};
    uint32 exitCode = 0;
    unsigned char warning = 0;
    int32 size = 0, sizeNoRecovery = 0;
    Str held[16];
    int heldCount = 0;
    int made = 0;

    Str S(const wchar_t *text)
    {
        if (temporaries) {
            made += text[0] != 0;
            return Str(text);
        }
        held[heldCount] = Str(text);
        return held[heldCount++];
    }
    ObjectVerbs::Progress Progress() { return ObjectProgress; }
    uintptr User() { return reinterpret_cast<uintptr>(&labels); }
};

#define R FC_ROOT
#define IDF R L"\\plan\\t.xml"
#define LOG R L"\\fw.log"
#define PLAN R L"\\halcyon.ini"
#define MISSING R L"\\missing.ini"

// ModSetupX: installers outside an image, no resume from an earlier run.
constexpr uint64 kModuleOptions = 0x40 | 0x8000000;

// A row's code: this one, any failure, or whatever the wide form answers.
constexpr int64 kFails = -1, kAny = -2;

struct Row {
    const char *what;
    int64 code;
    const wchar_t *file;  // an output file both forms must write alike
    int64 (*wide)(WidePass &);
    int64 (*object)(ObjectPass &);
};
#define ROW(what, code, file, ...)                                                                               \
    Row { what, code, file, [](WidePass &p) -> int64 { return int64(__VA_ARGS__); },                                   \
          [](ObjectPass &p) -> int64 { return int64(__VA_ARGS__); } }

const Row kRows[] = {
    // The plan is written; its check misses the module's media (98).
    ROW("MakeIniX builds a plan", 98, R L"\\plan\\made.ini",
        p.fn.MakeIniX(p.S(IDF), p.S(R L"\\plan\\bom.txt"), p.S(R L"\\plan\\made.ini"), p.S(LOG), 1000, 0)),
    ROW("MakeIniX without its IDF", kFails, nullptr,
        p.fn.MakeIniX(p.S(R L"\\none.xml"), p.S(R L"\\plan\\bom.txt"), p.S(R L"\\plan\\x.ini"), p.S(LOG), 0, 0)),
    ROW("MakeIniFromMcode", kAny, nullptr,
        p.fn.MakeIniFromMcode(p.S(R L"\\plan\\mcode.ini"), p.S(IDF), p.S(LOG), 0, nullptr, p.S(L""))),
    ROW("IdentifyIdf on an unsafe folder name", 9001, nullptr,
        p.fn.IdentifyIdf(p.S(R L"\\plan\\bom.txt"), p.S(R), p.S(L"..\\x"), p.S(L""), p.S(LOG), 0)),
    ROW("ScrambleIdf the wrong way round", kFails, nullptr,
        p.fn.ScrambleIdf(p.S(IDF), p.S(R L"\\plan\\wrong.xml"), 0)),
    ROW("ScrambleIdf", 0, R L"\\plan\\scrambled.xml",
        p.fn.ScrambleIdf(p.S(IDF), p.S(R L"\\plan\\scrambled.xml"), 0x40000)),
    ROW("LoadImgX", kFails, nullptr,
        p.fn.LoadImgX(p.S(MISSING), p.S(R), p.S(R L"\\dest"), p.S(R L"\\temp"), p.S(L"x.wim"), p.S(LOG), 0, nullptr,
                      nullptr, p.S(L""), p.S(L""))),
    ROW("CompareBlid", kFails, nullptr, p.fn.CompareBlid(p.S(R L"\\tag.wim"), p.S(PLAN))),
    ROW("CompareReleaseid with empty strings", kAny, nullptr, p.fn.CompareReleaseid(p.S(L""), p.S(L""))),
    ROW("ImgCopyX", kFails, nullptr,
        p.fn.ImgCopyX(p.S(MISSING), p.S(R), p.S(R L"\\dest"), p.S(L"custom"), p.S(LOG), 0, 0)),
    ROW("GetFoundationImage", kFails, nullptr,
        p.fn.GetFoundationImage(p.S(R L"\\none"), p.S(R L"\\dest"), p.S(PLAN), p.S(MISSING), p.S(L"DVD"), 0,
                                p.S(L""), nullptr, nullptr, p.S(LOG))),
    ROW("CopyDiscToDisk", kFails, nullptr,
        p.fn.CopyDiscToDisk(p.S(R L"\\none"), p.S(R L"\\dest"), p.S(PLAN), p.S(MISSING), p.S(L"DVD"), p.S(L""), 0,
                            nullptr, nullptr, p.S(L""), p.S(LOG))),
    ROW("CompareNrvIniToHalIni", kFails, nullptr, p.fn.CompareNrvIniToHalIni(p.S(MISSING), p.S(PLAN), 0)),
    ROW("GetMiniCDriveSize", kAny, nullptr,
        p.fn.GetMiniCDriveSize(p.S(PLAN), p.S(MISSING), p.S(L""), &p.warning, &p.size, &p.sizeNoRecovery) * 1000 +
            p.size),
    ROW("ModCopyX from a missing source", kFails, nullptr,
        p.fn.ModCopyX(p.S(PLAN), p.S(R L"\\none"), p.S(R L"\\dest"), p.S(L""), p.S(L""), p.S(L""), p.S(L""),
                      p.S(LOG), 0, 0)),
    ROW("ModExtractX", kFails, nullptr,
        p.fn.ModExtractX(p.S(MISSING), p.S(R L"\\perm"), p.S(R L"\\dest"), p.S(L""), p.S(L""), p.S(L""), p.S(L""),
                         p.S(L""), p.S(LOG), 0, 0, 0)),
    ROW("ModSetupX without its plan", kFails, nullptr,
        p.fn.ModSetupX(p.S(MISSING), p.S(R L"\\perm"), p.S(R L"\\temp"), p.S(R L"\\temp"), p.S(R L"\\dest"),
                       p.S(R L"\\mount"), p.S(L""), p.S(L""), p.S(L""), p.S(L""), p.S(LOG), 1, kModuleOptions,
                       p.Progress(), p.User(), p.S(L""), &p.exitCode)),
    ROW("AppSetupX", kFails, nullptr,
        p.fn.AppSetupX(p.S(MISSING), p.S(MISSING), p.S(R L"\\perm"), p.S(R L"\\dest"), p.S(R L"\\dest"), p.S(L""),
                       p.S(L""), p.S(L""), p.S(L""), p.S(LOG), 1, 0, p.Progress(), p.User())),
    ROW("SingleAppSetupX_s", kFails, nullptr,
        p.fn.SingleAppSetupX_s(p.S(L"1"), p.S(MISSING), p.S(R L"\\perm"), p.S(R L"\\dest"), p.S(L""), p.S(L""),
                               p.S(L""), p.S(L""), p.S(LOG), 0, &p.warning, &p.exitCode, p.message, 261, false)),
    ROW("ExecuteProgram runs a command", 7, nullptr,
        p.fn.ExecuteProgram(p.S(R), p.S(L"cmd.exe"), p.S(L"/c exit 7"), 0, 5, &p.exitCode, p.S(LOG)) * 1000 +
            p.exitCode),
    ROW("IsCleanSweep", 1, nullptr, p.fn.IsCleanSweep(p.S(PLAN))),
    ROW("IsLastModuleRecoverable", kAny, nullptr, p.fn.IsLastModuleRecoverable()),
    ROW("EpicCrcCheck", kFails, nullptr, p.fn.EpicCrcCheck(p.S(MISSING), p.S(R), p.S(L"x"), p.S(LOG), 0)),
    ROW("ValidateRegistry", kFails, nullptr, p.fn.ValidateRegistry(p.S(L"FW"), p.S(MISSING), p.S(LOG), 0x80000002)),
};

struct FileBytes {
    char bytes[16384];
    long size;
    void Read(const wchar_t *path) { size = path ? FcReadFile(path, bytes, sizeof bytes) : 0; }
    bool operator==(const FileBytes &o) const
    {
        if (size != o.size)
            return false;
        for (long i = 0; i < size; ++i)
            if (bytes[i] != o.bytes[i])
                return false;
        return true;
    }
};
FileBytes wideFile, objectFile;

// The row's verb with string objects, held or temporaries, against the
// wide form's answer.
void CheckObjectForm(const Row &row, const WidePass &w, int64 expected, bool temporaries)
{
    ObjectPass o{object, temporaries};
    const int frees = manager.frees, allocates = manager.allocates;
    const int64 got = row.object(o);
    Check(got == expected, row.what);
    if (temporaries) {
        Check(manager.frees - frees == o.made, "each temporary is freed exactly once");
        Check(manager.allocates - allocates == o.made, "the verb allocates nothing of the caller's");
    } else {
        Check(manager.frees == frees, "held strings are not freed");
        for (int i = 0; i < o.heldCount; ++i)
            Check(o.held[i].Refs() == 1 || o.held[i].Block() == &manager.nil.header,
                  "a held string's count is back to 1");
    }
    Check(Same(o.message, w.message), "the message buffer is filled alike");
    objectFile.Read(row.file);
    Check(objectFile == wideFile, "both forms write the same file");
}

// Each row in the wide form, then with held strings (nothing freed, every
// count back to 1) and with temporaries (one Free per non-empty string);
// the nil string's count comes back too.
void CheckRows()
{
    for (const Row &row : kRows) {
        WidePass w{wide};
        const int64 expected = row.wide(w);
        if (row.code == kFails ? expected == 0 : row.code != kAny && expected != row.code)
            FcReportCode(row.what, expected);
        wideFile.Read(row.file);
        Check(!row.file || wideFile.size > 0, row.what);
        const int nil = manager.nil.header.refs;
        CheckObjectForm(row, w, expected, false);
        CheckObjectForm(row, w, expected, true);
        Check(manager.nil.header.refs == nil, "the nil string's count is back after the call");
    }
}

// Out texts: rewritten through the caller's own manager; a shared old text
// stays for its other holder.
void CheckOutTexts()
{
    wchar_t os[64] = L"?";
    const uint32 wideRc = wide.ReadIdfForOSArchCheck(os, 64, IDF, LOG, 0x2000000, 0, L"");
    Str out(L"previous text"), other = out;
    const int frees = manager.frees, allocates = manager.allocates;
    Check(object.ReadIdfForOSArchCheck(out, Str(IDF), Str(LOG), 0x2000000, 0, Str(L"")) == wideRc && wideRc == 0,
          "ReadIdfForOSArchCheck succeeds in both forms");
    Check(out.Is(os) && out.Is(L"W11P64"), "the OS text and its length");
    Check(out.Block()->manager == &manager && out.Refs() == 1, "the OS text is a block of the caller's manager");
    Check(other.Is(L"previous text") && other.Refs() == 1, "the shared old text is intact for its other holder");
    Check(manager.allocates - allocates == 3 && manager.frees - frees == 2, "one new block, arguments freed");

    // A failed read still answers (the empty text), as the wide form does.
    const uint32 missingRc = wide.ReadIdfForOSArchCheck(os, 64, R L"\\none.xml", LOG, 0x2000000, 0, L"");
    Check(object.ReadIdfForOSArchCheck(out, Str(R L"\\none.xml"), Str(LOG), 0x2000000, 0, Str(L"")) == missingRc &&
              missingRc != 0 && out.Is(L"") && os[0] == 0,
          "ReadIdfForOSArchCheck fails alike and answers the empty text");

    wchar_t value[64] = L"?";
    Check(wide.GetWimTagValue(R L"\\tag.wim", L"name", value, 64) == 0 && Same(value, L"Bild \x2713"),
          "GetWimTagValueW reads the tag");
    Str tag(L"old"), holder = tag;
    Check(object.GetWimTagValue(Str(R L"\\tag.wim"), Str(L"name"), tag) == 0 && tag.Is(value) &&
              holder.Is(L"old") && tag.Refs() == 1 && holder.Refs() == 1,
          "GetWimTagValue answers through the caller's object");
    const int32 absentRc = wide.GetWimTagValue(R L"\\tag.wim", L"absent", value, 64);
    Check(object.GetWimTagValue(Str(R L"\\tag.wim"), Str(L"absent"), holder) == absentRc && absentRc != 0 &&
              holder.Is(L"old") && holder.Refs() == 1,
          "a failed GetWimTagValue leaves the value alone");
}

// ModSetupX over the two-module plan: the same labels and restart request
// in both forms; the label kept past the callback stays valid, grows
// through the DLL's manager and is freed once, later.
void CheckModuleLabels()
{
    WidePass w{wide};
    const int32 wideRc = w.fn.ModSetupX(PLAN, R L"\\perm", R L"\\temp", R L"\\temp", R L"\\dest", R L"\\mount", L"",
                                        L"", L"", L"", LOG, 1, kModuleOptions, w.Progress(), w.User(), L"",
                                        &w.exitCode);
    ObjectPass o{object, true};
    const Str plan(PLAN);
    o.labels.held = &plan;
    const int32 rc = o.fn.ModSetupX(plan, o.S(R L"\\perm"), o.S(R L"\\temp"), o.S(R L"\\temp"),
                                    o.S(R L"\\dest"), o.S(R L"\\mount"), o.S(L""), o.S(L""), o.S(L""), o.S(L""),
                                    o.S(LOG), 1, kModuleOptions, o.Progress(), o.User(), o.S(L""), &o.exitCode);
    Check(rc == 0 && wideRc == 0 && o.exitCode == 3010 && w.exitCode == 3010, "ModSetupX asks for the restart");
    Check(o.labels.calls >= 2 && o.labels.calls == w.labels.calls && Same(o.labels.text, w.labels.text),
          "the same progress labels in both forms");
    Check(o.labels.allOwned && o.labels.allForeign, "each label comes owned, from the DLL's manager");
    Check(o.labels.heldShared && plan.Refs() == 1, "a held string is shared during the call, owned after it");

    Str &kept = o.labels.kept;
    Check(kept.Refs() == 1 && kept.Block()->manager != &manager, "the kept label is the caller's alone now");
    const int firstLength = kept.Block()->length;
    bool prefix = firstLength > 0 && w.labels.text[firstLength] == L'|';
    for (int i = 0; prefix && i < firstLength; ++i)
        prefix = kept.c_str()[i] == w.labels.text[i];
    Check(prefix, "the kept label keeps its text");
    kept.Append(L" (more)");
    Check(kept.Block()->length == firstLength + 7 && kept.Block()->manager != &manager,
          "the DLL's manager grows a label");
    Str copy = kept;
    copy.Append(L"!");
    Check(kept.Refs() == 1 && copy.Refs() == 1 && copy.Block()->length == firstLength + 8,
          "a shared label is copied before it changes");
}

struct ThreadWork {
    Str *plan;
    Str *idf;
    int mismatches;
};

void ThreadBody(void *work)
{
    auto *t = static_cast<ThreadWork *>(work);
    for (int i = 0; i < 40; ++i) {
        Str os;
        if (!object.IsCleanSweep(*t->plan) ||
            object.ReadIdfForOSArchCheck(os, *t->idf, Str(L""), 0x2000000, 0, Str(L"")) != 0 || !os.Is(L"W11P64"))
            ++t->mismatches;
    }
}

// Two threads share string objects: the counts stay exact.
void CheckThreads()
{
    Str plan(PLAN), idf(IDF);
    const int frees = manager.frees;
    ThreadWork first{&plan, &idf, 0}, second{&plan, &idf, 0};
    FcRunTwoThreads(ThreadBody, &first, &second);
    Check(first.mismatches == 0 && second.mismatches == 0, "verbs answer alike on two threads");
    Check(plan.Refs() == 1 && idf.Refs() == 1 && manager.frees - frees == 2 * 40,
          "shared strings keep their blocks; each thread's own strings are freed once");
}

} // namespace

extern "C" void FcRunChecks(void)
{
    if (!LoadVerbs())
        return;
    CheckRows();
    CheckOutTexts();
    CheckModuleLabels();
    CheckThreads();
    Check(manager.badFrees == 0, "no block is freed twice or by the wrong manager");
    Check(manager.Live() == 0, "no block of the front end is left");
}
