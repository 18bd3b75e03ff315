#pragma once

// Registers the program's icons and pictures (app/zemrik.qrc). They live in a static library,
// whose resource data the linker would otherwise leave out; call it before the first use of a
// ":/icons/..." path. Calling it again does nothing.
void LoadZemrikResources();
