// The names under which the application knows itself and its files in the current directory.
#pragma once

// The application's title: the main window's caption and the default log file's base name.
inline constexpr char AppTitle[] = "ox";

inline constexpr char LogBookFileName[] = "LogBook.Log";
inline constexpr char CaptionsFileName[] = "ox.cap";
