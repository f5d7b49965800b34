// Facts of the geometry kernel that messages and the application state
// without including the kernel's own headers.
#pragma once

namespace ufhost {

// The kernel's version as its headers give it, such as "7.6.3".
const char* kernel_version();

// The distance within which the kernel takes two points as one: the
// thinnest band within which it takes a plane as touching a body.
double kernel_confusion();

}  // namespace ufhost
