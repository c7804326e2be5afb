#pragma once
// Dynamic libraries: load by name, look an export up, free. An export is
// looked up in the named library only, never in the libraries it depends on,
// so "does this library export crc32" has the answer a caller expects.

#include <string>
#include <string_view>
#include <utility>

namespace platform {

// Whether a library name is a path, so the library is loaded from there and
// nowhere else, rather than a bare name the system's search order would
// resolve (from the current folder, the PATH or wherever it looks). Windows
// takes either slash as a separator.
inline bool IsLibraryPath(std::string_view name) {
#ifdef _WIN32
    return name.find_first_of("/\\") != std::string_view::npos;
#else
    return name.find('/') != std::string_view::npos;
#endif
}

class Library {
public:
    Library() = default;
    // Loads the library; check loaded() for the outcome.
    explicit Library(const std::string& name);
    ~Library() { reset(); }
    Library(Library&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Library& operator=(Library&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // The address of an export of this library, or null.
    void* symbol(const std::string& name) const;
    // Frees the library; true when one was loaded and the platform freed it.
    bool reset();
    // Keeps the library loaded for the rest of the process and gives up the
    // handle, for a library whose objects and threads may outlive any owner
    // (its code must never be unmapped under them). Null when none was loaded.
    void* release() { return std::exchange(handle_, nullptr); }
    // Why the calling thread's last load failed, as the system says it.
    static std::string LoadError();

    template <typename F>
    F function(const std::string& name) const {
        return reinterpret_cast<F>(symbol(name));
    }

private:
    void* handle_ = nullptr;
};

// A module already in the process (null: the program itself), without
// taking a reference; null when it is not loaded.
void* LoadedModule(const char* name);
// An export of a loaded module as the system looks it up, or null.
void* ModuleExport(void* module, const char* name);

} // namespace platform
