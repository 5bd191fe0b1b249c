#include "external_call.h"

#include <dirent.h>
#include <dlfcn.h>
#include <ffi.h>
#include <sys/stat.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "text/cp1251.h"

namespace zentra::script {
namespace {

// A cp1251 text from UTF-8 source, for messages.
std::string cp(std::string_view utf8) {
    return text::utf8ToCp1251(utf8);
}

// The number a cell holds for a numeric parameter: numbers as they are, texts read as numbers.
double numberOf(const Value& v) {
    if (v.store == Store::Number) return v.num;
    if (v.store == Store::Text) {
        if (auto d = parseTextNumber(v.text)) return *d;
        throw std::runtime_error(cp("Значение \"") + v.text + cp("\" не является числом"));
    }
    return 0;
}

// Truncates towards zero and keeps the low 32 bits, so out-of-range values wrap instead of
// being undefined behaviour; NaN passes 0.
std::int32_t int32Of(double d) {
    if (std::isnan(d)) return 0;
    d = std::trunc(d);
    if (d >= 9.2e18 || d <= -9.2e18) return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(d)));
}

// The libffi type of a declared script type; null for Variant and undefined.
ffi_type* ffiType(std::uint8_t t) {
    switch (t) {
        case kTypeInteger:
            return &ffi_type_sint32;
        case kTypeDouble:
            return &ffi_type_double;
        case kTypeBoolean:
            return &ffi_type_uint8;
        case kTypeText:
            return &ffi_type_pointer;
        default:
            return nullptr;
    }
}

// Error raised from the moment a routine is resolved until it returns.
std::string wrapped(std::string_view routine, std::string_view library, std::string_view message) {
    std::string s = cp("Ошибка во время вызова процедуры \"");
    s += routine;
    s += cp("\"\rиз библиотеки \"");
    s += library;
    s += "\"\r";
    s.append(48, '*');
    s += '\r';
    s += message;
    return s;
}

// True when a file (not a directory) exists at path.
bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// A library name from a report file stays inside the library folder: backslashes count as
// separators; absolute names and ".." components are refused.
bool staysInside(const std::string& name) {
    if (name.empty() || name[0] == '/') return false;
    if (name.size() >= 2 && name[1] == ':') return false;  // a drive letter: C:\...
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}

// Raised for a Variant or undefined argument or declared type: the wrong-parameter-type error.
struct WrongParameterType {};

// One argument as libffi reads it (from the slot's start, by the argument's type), and as a
// whole 64-bit register word for the direct calls below.
union Slot {
    std::uint64_t u;
    std::int32_t i;
    std::uint8_t b;
    double d;
    const char* p;
    void* ptr;
};

// Direct calls. On x86-64 System V the first six integer-class arguments (integers, booleans,
// pointers) travel in six registers whatever their order, the result comes back in RAX (XMM0
// for a double), and the caller clears up; a routine ignores registers it has no parameter
// for. So a routine whose arguments are all integer-class and fit the registers can be called
// through one pointer type taking six 64-bit words -- what libffi would do, without building
// the frame at run time. Each word holds its value zero-extended at its start, as a callee
// reading 32 or 8 bits of it expects.
#if defined(__x86_64__) && defined(__linux__)
constexpr std::size_t kDirectWords = 6;
using WordRoutine = std::uint64_t (*)(std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t,
                                      std::uint64_t, std::uint64_t);
using DoubleRoutine = double (*)(std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t,
                                 std::uint64_t, std::uint64_t);
#else
constexpr std::size_t kDirectWords = 0;  // elsewhere every call goes through libffi
#endif

}  // namespace

// One cached library: its lower-case key, the handle and the two optional exports of our own
// libraries.
struct LibraryCaller::Library {
    std::string key;
    void* handle = nullptr;
    const char* (*lastError)() = nullptr;
    void (*endRun)() = nullptr;
};

// What one CALL instruction needs on its second and later calls: the routine, its call
// descriptor and the declared types. A site is checked against each call by its names, unless
// both come from the same run whose calls at this site are constants of the code.
struct LibraryCaller::Site {
    std::string routine;
    std::string libraryKey;
    int convention = 0;
    std::uint8_t resultType = 0;
    std::uint64_t run = 0;  // ExternalCall::run this site may be trusted for without checks
    Library* lib = nullptr;
    void* fn = nullptr;
    std::vector<std::uint8_t> params;
    std::vector<ffi_type*> types;
    ffi_cif cif{};
    bool prepared = false;    // cif (or `direct`) holds the descriptor
    bool direct = false;      // called through a word routine pointer instead of libffi
    std::vector<Slot> slots;  // one per argument, the safecall result pointer, direct words
    std::vector<void*> values;
    std::vector<std::string> texts;  // the NUL-terminated copies passed for Text parameters
};

// The exact spelling first, then the first entry differing only in letter case, as the file
// systems report files were written on matched names.
std::string findFileInFolder(const std::string& dir, const std::string& file) {
    if (isFile(dir + file)) return dir + file;
    std::string found;
    if (DIR* d = ::opendir(dir.empty() ? "." : dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (text::equalsNoCase(e->d_name, file) && isFile(dir + e->d_name)) {
                found = dir + e->d_name;
                break;
            }
        }
        ::closedir(d);
    }
    return found;
}

LibraryCaller::LibraryCaller() = default;

LibraryCaller::~LibraryCaller() {
    releaseLibraries();
}

// Ends the run's libraries: Kr_EndRun where exported, then dlclose; the site cache goes too.
void LibraryCaller::releaseLibraries() {
    sites_.clear();
    recent_ = nullptr;
    for (auto& l : libraries_)
        if (l->endRun) l->endRun();
    for (auto& l : libraries_)
        ::dlclose(l->handle);
    libraries_.clear();
}

// Opens the declared spelling in the library folder, then a name differing only in letter case
// there, then (bare names only) whatever the system loader finds, so system libraries such as
// libm.so.6 can be named.
LibraryCaller::Library* LibraryCaller::load(const ExternalCall& call) {
    std::string name(call.declaredLibrary.empty() ? call.library : call.declaredLibrary);
    for (auto& c : name)
        if (c == '\\') c = '/';
    const std::string notFound =
        cp("Библиотека \"") + std::string(call.library) + cp("\" ненайдена");
    if (!staysInside(name)) {
        throw std::runtime_error(notFound +
                                 cp(": имя библиотеки ведёт за пределы папки библиотек"));
    }
    std::string base(call.libraryPath);
    std::string path = base + name;
    if (!isFile(path)) {
        const auto slash = name.rfind('/');
        const std::string dir =
            base + (slash == std::string::npos ? "" : name.substr(0, slash + 1));
        const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
        path = findFileInFolder(dir, file);
        if (path.empty() && slash == std::string::npos) path = name;  // the system's search
    }
    if (path.empty()) throw std::runtime_error(notFound);
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        // a file that exists but does not load: say why on a second line
        const char* why = ::dlerror();
        if (path != name && why) throw std::runtime_error(notFound + "\r" + why);
        throw std::runtime_error(notFound);
    }
    ++loads_;
    auto lib = std::make_unique<Library>();
    lib->key.assign(call.library);
    lib->handle = h;
    lib->lastError = reinterpret_cast<const char* (*)()>(::dlsym(h, "Kr_LastError"));
    lib->endRun = reinterpret_cast<void (*)()>(::dlsym(h, "Kr_EndRun"));
    libraries_.push_back(std::move(lib));
    return libraries_.back().get();
}

// The most recent library if its name matches, else a cached one from the newest, else a new one.
LibraryCaller::Library& LibraryCaller::library(const ExternalCall& call) {
    if (recent_ && recent_->key == call.library) return *recent_;
    for (auto it = libraries_.rbegin(); it != libraries_.rend(); ++it) {
        if ((*it)->key == call.library) {
            recent_ = it->get();
            return *recent_;
        }
    }
    recent_ = load(call);
    return *recent_;
}

// The cached site of this CALL if it still describes the call, or a freshly resolved one
// (library, routine, declared types); a constant call marks the site trusted for its run.
LibraryCaller::Site& LibraryCaller::site(const ExternalCall& call) {
    const auto index = static_cast<std::size_t>(call.site < 0 ? 0 : call.site);
    if (index < sites_.size() && sites_[index]) {
        Site& s = *sites_[index];
        if (s.routine == call.routine && s.libraryKey == call.library &&
            s.convention == call.convention && s.resultType == call.resultType &&
            s.params.size() == call.args.size()) {
            recent_ = s.lib;
            if (call.run) s.run = call.run;
            return s;
        }
    }
    Library& lib = library(call);
    const std::string routine(call.routine);
    ::dlerror();
    void* fn = routine.empty() ? nullptr : ::dlsym(lib.handle, routine.c_str());
    if (!fn) {
        throw std::runtime_error(cp("В библиотеке \"") + std::string(call.library) +
                                 cp("\" ненайдена процедура \"") + routine + "\"");
    }
    auto s = std::make_unique<Site>();
    s->routine = routine;
    s->libraryKey.assign(call.library);
    s->convention = call.convention;
    s->resultType = call.resultType;
    s->run = call.run;
    s->lib = &lib;
    s->fn = fn;
    const std::size_t n = call.args.size();
    const std::vector<std::uint8_t>* declared = nullptr;
    if (call.declarations) {
        auto it = call.declarations->find(declarationKey(call.library, call.routine));
        if (it != call.declarations->end()) declared = &it->second;
    }
    if (declared && declared->size() == n) {
        s->params = *declared;
    } else {
        // no declaration at hand: the cells' own types stand in for it
        for (const Value* v : call.args)
            s->params.push_back(v->type);
    }
    s->slots.resize(std::max(n + 1, kDirectWords));
    s->values.resize(n + 1);
    s->texts.resize(n);
    if (index >= sites_.size()) sites_.resize(index + 1);
    sites_[index] = std::move(s);
    return *sites_[index];
}

// Checks the declared types once and builds the call descriptor: libffi's, or the direct
// form when every argument is integer-class and they all fit the registers.
void LibraryCaller::prepare(Site& s) {
    if (s.convention < 1 || s.convention > 5) {
        throw std::runtime_error(cp("Ошибка в описании параметров процедуры \"") + s.routine +
                                 "\"");
    }
    const std::size_t n = s.params.size();
    const bool safecall = s.convention == 3;
    const bool hasResult = s.resultType != kTypeUndefined;
    s.types.clear();
    bool integerClass = true;
    for (std::uint8_t t : s.params) {
        ffi_type* ft = ffiType(t);
        if (!ft) throw WrongParameterType{};
        if (ft == &ffi_type_double) integerClass = false;
        s.types.push_back(ft);
    }
    ffi_type* rt = &ffi_type_void;
    if (hasResult) {
        rt = ffiType(s.resultType);
        if (!rt) throw WrongParameterType{};
    }
    if (safecall) {
        if (hasResult) s.types.push_back(&ffi_type_pointer);
        rt = &ffi_type_sint32;
    }
    if (ffi_prep_cif(&s.cif, FFI_DEFAULT_ABI, static_cast<unsigned>(s.types.size()), rt,
                     s.types.data()) != FFI_OK) {
        throw std::runtime_error(cp("Ошибка в описании параметров процедуры \"") + s.routine +
                                 "\"");
    }
    for (std::size_t k = 0; k <= n; ++k)
        s.values[k] = &s.slots[k];
    s.direct = integerClass && s.types.size() <= kDirectWords;
    for (Slot& slot : s.slots)
        slot.u = 0;
    s.prepared = true;
}

// Resolves (or reuses) the routine, converts the arguments by the declared types, calls it and
// fills the result by the declared result type; errors after resolution come wrapped.
void LibraryCaller::call(const ExternalCall& call, Value& result) {
    const auto index = static_cast<std::size_t>(call.site < 0 ? 0 : call.site);
    Site* cached = index < sites_.size() ? sites_[index].get() : nullptr;
    if (!cached || !call.run || cached->run != call.run) {
        if (call.routine.empty() || call.library.empty()) {
            throw std::runtime_error(cp("Ошибка в описании параметров процедуры \"") +
                                     std::string(call.routine) + "\"");
        }
        cached = &site(call);
    }
    Site& s = *cached;
    try {
        if (!s.prepared) prepare(s);
        const std::size_t n = s.params.size();
        assert(call.args.size() == n && s.slots.size() > n && s.texts.size() == n);
        const bool safecall = s.convention == 3;
        const bool hasResult = s.resultType != kTypeUndefined;
        for (std::size_t k = 0; k < n; ++k) {
            const Value& v = *call.args[k];
            if ((v.flags & kFlagVariant) || v.type == kTypeUndefined || v.type == kTypeVariant)
                throw WrongParameterType{};
            Slot& slot = s.slots[k];
            switch (s.params[k]) {
                case kTypeInteger:
                    slot.u = 0;
                    slot.i = int32Of(numberOf(v));
                    break;
                case kTypeDouble:
                    slot.d = numberOf(v);
                    break;
                case kTypeBoolean:
                    slot.u = 0;
                    slot.b = static_cast<std::uint8_t>(int32Of(numberOf(v)) & 255);
                    break;
                default: {
                    // a copy: what the routine may write into its text stays out of the cell
                    std::string& t = s.texts[k];
                    if (v.store == Store::Text) {
                        t.assign(v.text);
                    } else if (v.store == Store::Number) {
                        t = formatNumber(v.num, ',');
                    } else {
                        t.clear();
                    }
                    slot.p = t.c_str();
                }
            }
        }
        Slot out{};
        void* outPtr = &out;
        union {
            ffi_arg a;
            double d;
            void* p;
        } ret{};
        if (safecall && hasResult) {
            s.slots[n].ptr = &out;
            s.values[n] = &outPtr;
        }
#if defined(__x86_64__) && defined(__linux__)
        if (s.direct) {
            const Slot* w = s.slots.data();
            if (s.resultType == kTypeDouble && !safecall) {
                ret.d = reinterpret_cast<DoubleRoutine>(s.fn)(w[0].u, w[1].u, w[2].u, w[3].u,
                                                              w[4].u, w[5].u);
            } else {
                ret.a = reinterpret_cast<WordRoutine>(s.fn)(w[0].u, w[1].u, w[2].u, w[3].u, w[4].u,
                                                            w[5].u);
            }
        } else {
            ffi_call(&s.cif, FFI_FN(s.fn), &ret, s.values.data());
        }
#else
        ffi_call(&s.cif, FFI_FN(s.fn), &ret, s.values.data());
#endif
        if (safecall) {
            const auto status = static_cast<std::int32_t>(ret.a);
            if (status < 0) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%08X", static_cast<std::uint32_t>(status));
                throw std::runtime_error(cp("Процедура вернула код ошибки 0x") + hex);
            }
        }
        if (s.lib->lastError) {
            const char* e = s.lib->lastError();
            if (e && *e) throw std::runtime_error(e);
        }
        result.flags = 0;
        switch (hasResult ? s.resultType : kTypeUndefined) {
            case kTypeInteger:
                result.setNumber(kTypeInteger, safecall ? out.i : static_cast<std::int32_t>(ret.a));
                break;
            case kTypeDouble:
                result.setNumber(kTypeDouble, safecall ? out.d : ret.d);
                break;
            case kTypeBoolean:
                result.setNumber(kTypeBoolean, safecall ? out.b : static_cast<std::uint8_t>(ret.a));
                break;
            case kTypeText: {
                const char* p = safecall ? out.p : static_cast<const char*>(ret.p);
                if (p) {
                    result.setText(kTypeText, p);
                } else {
                    result.reset(kTypeUndefined);  // no text: cell 0 holds nothing
                }
                break;
            }
            default:
                result.reset(kTypeUndefined);
                break;
        }
    } catch (const WrongParameterType&) {
        throw std::runtime_error(
            wrapped(s.routine, s.libraryKey,
                    cp("Задан неверный тип параметров в процедуре \"") + s.routine + "\""));
    } catch (const std::exception& e) {
        throw std::runtime_error(wrapped(s.routine, s.libraryKey, e.what()));
    }
}

}  // namespace zentra::script
