#pragma once

// Identity of the program, shared by the start-up code and the update check.
namespace SpinwrightIdentity {

inline constexpr char organizationName[] = "Marvolix";
inline constexpr char applicationName[] = "Spinwright";
inline constexpr char organizationDomain[] = "marvolix.com";
inline constexpr char versionPrefix[] = "v.3.0.";
inline constexpr char changelistNumber[] = "30108";

} // namespace SpinwrightIdentity
