// The program's scheme handler factories, by scheme and host, and the registrar through
// which the application declares its custom schemes.
#pragma once

#include <memory>
#include <string_view>

#include "cef/cef_records.h"
#include "objects/engine_object.h"

namespace cef_engine::net {

using SharedFactory = std::shared_ptr<ProgramRef<cef_scheme_handler_factory_t>>;

// The factory for scheme and host: one registered for that host, else one registered
// for the scheme with an empty host; null when none is.
SharedFactory FindSchemeHandlerFactory(std::u16string_view scheme, std::u16string_view host);

// Asks the application for its custom schemes, once per engine run (later calls do
// nothing). Main thread.
void AskApplicationForCustomSchemes();

}  // namespace cef_engine::net
