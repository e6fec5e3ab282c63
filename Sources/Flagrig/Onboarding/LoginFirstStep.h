#pragma once

namespace flagrig {

// The steps of the first-run flow, in the order the flow goes through them.
enum class LoginFirstStep { signIn, consentConfirm, permissions };

}  // namespace flagrig
