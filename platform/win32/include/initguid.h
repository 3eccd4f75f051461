// Selects GUID definitions (rather than declarations) in the headers that
// follow. The simulated headers define every GUID as an inline constant,
// so there is nothing to select here.
#pragma once
