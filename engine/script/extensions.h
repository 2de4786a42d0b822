// Registered script extensions: their code runs in every context before the page's
// scripts, and their `native function NAME();` declarations call the extension's handler.
#pragma once

#include <string>
#include <string_view>

namespace cef_engine::script {

class ContextState;

// `native function NAME(params);` becomes a function calling the extension's handler
// with NAME (Duktape has no such declaration). Strings and comments are left alone.
std::u16string RewriteNativeDeclarations(std::u16string_view code, int extension);

// Runs every registered extension in `context`; errors go to its console.
void RunExtensions(ContextState& context);

}  // namespace cef_engine::script
