// The external-call step behind the machine's ExternalCaller seam: shared libraries are opened
// with dlopen from the library folder and cached for the run, routines are resolved by their
// exact name, and each call goes through libffi with one typed 64-bit slot per argument, or,
// for the common all-integer-class signatures, straight through a typed pointer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "machine.h"

namespace zentra::script {

// The path of `file` inside `dir` (empty or ending in '/'): the exact spelling, else a regular
// file whose name differs only in letter case; empty when there is neither.
std::string findFileInFolder(const std::string& dir, const std::string& file);

// Calls routines of shared libraries for the machine. x86-64 Linux has one C calling convention,
// so stdcall, cdecl, pascal and register are all plain C calls with the arguments in declaration
// order; safecall returns an int32_t status and passes the result through a trailing pointer.
class LibraryCaller : public ExternalCaller {
  public:
    LibraryCaller();
    ~LibraryCaller() override;
    LibraryCaller(const LibraryCaller&) = delete;
    LibraryCaller& operator=(const LibraryCaller&) = delete;

    void call(const ExternalCall& call, Value& result) override;
    // Lets every cached library that exports Kr_EndRun free what the run left, then closes them.
    void releaseLibraries() override;

    // Libraries opened with dlopen since this caller was made (tests check one load per run).
    int loadCount() const { return loads_; }
    // Libraries open now.
    int openCount() const { return static_cast<int>(libraries_.size()); }

  private:
    struct Library;
    struct Site;
    Library& library(const ExternalCall& call);
    Library* load(const ExternalCall& call);
    Site& site(const ExternalCall& call);
    void prepare(Site& s);

    std::vector<std::unique_ptr<Library>> libraries_;
    Library* recent_ = nullptr;
    std::vector<std::unique_ptr<Site>> sites_;  // by instruction number of the CALL
    int loads_ = 0;
};

}  // namespace zentra::script
