#pragma once
// Applying a pasted block of style code to the selected Component.
#include <string>

namespace design {

// Design::importStyleCode sets tag, class name, the geometry the code states
// and, when it holds any, the extra declarations of the Component named by
// selectedBox. The inner text is kept. Does nothing to the design when no
// Component is selected.

// Design::importCheckedStyleCode is importStyleCode behind the entry checks,
// for the import-code button: NULs are removed; only the first complete rule
// (through its first "}") is applied, since the readers would otherwise run
// across two rules; a tag or class name the panel refuses applies nothing.
// Gives the message for the user (GB18030), empty when the code was applied
// as pasted.

}  // namespace design
