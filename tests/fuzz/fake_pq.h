// The stand-in for the database client library (fake_pq.cpp): the login it takes, and the
// password it refuses. Its tables are "clientes" and "ventas".
#pragma once

namespace vx::fuzz {

inline constexpr const char* FAKE_HOST = "fuzzhost";
inline constexpr const char* FAKE_DATABASE = "fuzzdb";
inline constexpr const char* FAKE_USER = "fuzz";
inline constexpr const char* FAKE_PASSWORD = "secreto";
inline constexpr const char* FAKE_REFUSED_PASSWORD = "wrong";

}  // namespace vx::fuzz
