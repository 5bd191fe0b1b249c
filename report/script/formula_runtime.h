// Database look-ups of cell formulas (=^PROC(...):n) through the Query routines of the run-time
// library "Runtime.lib". One library handle serves every formula machine of the process: it is
// loaded at the first look-up from that look-up's library folder and kept until
// ReleaseFormulaRuntime() (the host calls it when the report generator is unloaded; it also runs
// at process exit once a query was made).
#pragma once

#include <string>
#include <vector>

#include "formula_machine.h"

namespace zentra::script {

// The look-up of TDocument builds and kelvo-report: Query_Create, Param_AsPChar per parameter,
// Query_Execute, Field_AsPChar, Query_Free; any text of Kr_LastError raises a FormulaError.
class RuntimeFormulaLookup : public FormulaLookup {
  public:
    bool Query(const std::string& driver, const std::string& connection,
               const std::string& libraryFolder, const std::string& select,
               const std::vector<std::string>& params, int field, std::string& value) override;

    // The process-wide instance (stateless: the library handle is held by the module).
    static RuntimeFormulaLookup& Shared();
};

// Lets Runtime.lib free what look-ups left (Kr_EndRun) and unloads it; the next look-up loads
// it again, from its own library folder.
void ReleaseFormulaRuntime();

// The file the shared handle was loaded from, empty while none is loaded.
std::string FormulaRuntimePath();

}  // namespace zentra::script
