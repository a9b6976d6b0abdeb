// The registry of the simulated machine: one file per predefined root under "<system root>/registry/",
// named after the root ("HKEY_LOCAL_MACHINE.reg", ...). Every process reads the file afresh at each
// call and changes it under the lock file "registry/.lock" by replacing it whole, so a value
// written by one process is read by the next call of another, and a crash never leaves half a file.
//
// File format (UTF-8 text, one item a line; lines that do not parse are skipped):
//   [System\CurrentControlSet\Services\tvnx]   a key: its path below the root, '\' between names,
//                                              "[]" for the root itself; parents need no line
//   +volatile                                  the key above vanishes at the next restart
//   +protected                                 its access list denies deletion to everyone
//   value 4 05000000 Start                     a value: type number, data as hex bytes ("-" for
//                                              none), then the name (empty for the default value)
// Key and value names are compared without regard to ASCII case; they keep the case they were
// created with. Sub-keys are listed in the order of their lower-cased names.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::registry {

enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// "HKEY_LOCAL_MACHINE" and so on.
std::string_view root_name(Root root);
// The file of one root.
std::string hive_path(Root root);

struct Value {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct Key {
    std::string path;  // as created; "" for the root
    bool is_volatile = false;
    bool is_protected = false;
    std::vector<Value> values;  // in the order first written; changed only through the calls below

    const Value* find_value(std::string_view name) const;
    // Replaces a value of that name (keeping its place) or appends it.
    void set_value(Value value);
    bool erase_value(std::string_view name);

private:
    // Places in `values` by lower-cased name, so that a key of thousands of values finds one
    // without comparing them all.
    std::unordered_map<std::string, size_t> index_;
};

// The keys of one root, by lower-cased path. The root key ("") always exists.
class Hive {
public:
    Hive();

    Key* find(std::string_view path);
    const Key* find(std::string_view path) const;
    // Creates the key and its missing parents (each created key gets `is_volatile`).
    Key& create(std::string_view path, bool is_volatile = false);
    // Names (last component, as created) of the direct sub-keys, in lower-cased order.
    std::vector<std::string> subkeys(std::string_view path) const;
    // Removes the key alone (its sub-keys are the caller's concern).
    void erase(std::string_view path);
    // Removes every volatile key and everything below it (a restart).
    void drop_volatile();

    const std::map<std::string, Key>& keys() const { return keys_; }

private:
    std::map<std::string, Key> keys_;
};

// Lower-cased key or value name, the form names are compared in.
std::string fold(std::string_view name);
// Splits "a\b\c" into its names; nothing when a name is empty or holds a line break.
std::optional<std::vector<std::string>> split_path(std::string_view path);

std::string format_hive(const Hive& hive);
Hive parse_hive(std::string_view text);

// The root's keys as stored now (within a Batch, as the batch holds them).
Hive read_hive(Root root);
// Hands `look` the root's keys as stored now without copying them (within a Batch, the batch's).
void view_hive(Root root, const std::function<void(const Hive&)>& look);
// Reads the root under the lock, lets `change` edit it and, when it returns true, replaces the file.
// False when the change was refused or the file could not be written. `change` returns false only
// when it changed nothing: within a Batch its edits are made on the batch's copy directly.
bool update_hive(Root root, const std::function<bool(Hive&)>& change);

// Many changes written at once: while a Batch lives, the reads and changes of its thread work on
// copies of the roots held in memory under the registry's lock (other processes and threads wait
// for it), and each changed root is written once, by finish() or at the end. A Batch begun while
// another lives on the thread joins that one. Without it each change reads and writes its whole
// root, which makes a section of thousands of values cost the square of its size.
class Batch {
public:
    Batch();
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    // Writes every changed root; false when the lock was not held or a root could not be written
    // (that root's file then stays as it was before the batch).
    bool finish();
    // finish() of the batch that lives on this thread, if one does: for a change elsewhere that
    // must not be made before the registry's (true when nothing was left to write).
    static bool finish_current();

    struct State;  // the roots held and the lock, private to the store

private:
    State* state_ = nullptr;  // null when joined to an outer batch
};

// Convenience for fixtures and the other stand-ins: values of a key of HKEY_LOCAL_MACHINE (the key
// and its parents are created). Strings are stored as UTF-16 with their terminator.
bool set_dword(std::string_view key, std::string_view name, uint32_t value, Root root = Root::LocalMachine);
bool set_string(std::string_view key, std::string_view name, std::string_view value,
                Root root = Root::LocalMachine);
bool set_raw(std::string_view key, std::string_view name, uint32_t type, std::vector<uint8_t> data,
             Root root = Root::LocalMachine);
bool set_protected(std::string_view key, bool is_protected, Root root = Root::LocalMachine);
std::optional<uint32_t> get_dword(std::string_view key, std::string_view name, Root root = Root::LocalMachine);
bool key_exists(std::string_view key, Root root = Root::LocalMachine);
// Deletes a key with everything below it (no access checks: the machine's own housekeeping).
bool delete_tree(std::string_view key, Root root = Root::LocalMachine);

}  // namespace platform::registry
