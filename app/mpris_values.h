#pragma once
// Property values as the bus carries them, and the texts the bus needs made
// fit: valid UTF-8, file: addresses.

#include <systemd/sd-bus.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace lumetra::app::mpris {

// A property value: b, s, d, x, o, A (as) or M (a{sv}).
struct Value {
    explicit Value(char t = 's') : type(t) {}

    char type;
    bool boolean = false;
    double real = 0;
    int64_t integer = 0;
    std::string text;
    std::vector<std::string> list;
    std::map<std::string, Value> map;

    bool operator==(const Value&) const = default;

    static Value Bool(bool b) { return With('b', &Value::boolean, b); }
    static Value Real(double d) { return With('d', &Value::real, d); }
    static Value Int64(int64_t x) { return With('x', &Value::integer, x); }
    static Value Text(std::string s, char type = 's') { return With(type, &Value::text, std::move(s)); }
    static Value Path(std::string s) { return Text(std::move(s), 'o'); }
    static Value List(std::vector<std::string> l) { return With('A', &Value::list, std::move(l)); }
    static Value Map(std::map<std::string, Value> m) { return With('M', &Value::map, std::move(m)); }

private:
    template <typename T>
    static Value With(char type, T Value::*member, T x)
    {
        Value value(type);
        value.*member = std::move(x);
        return value;
    }
};
using ValueMap = std::map<std::string, Value>;

// Appends value bare (its own signature) or as a variant; negative errno on failure.
int AppendBare(sd_bus_message* m, const Value& value);
int AppendValue(sd_bus_message* m, const Value& value);

// What a Set carries, read loosely as the variant's number, truth or text.
struct SetValue {
    double number = 0;
    bool truth = false;
    std::string text;
};
int ReadSetValue(sd_bus_message* m, SetValue& value);

// The bus takes only valid UTF-8; each byte that is not part of a valid
// sequence becomes U+FFFD.
std::string ValidUtf8(std::string_view in);

// A local path as a file: address, each byte outside the path characters of an
// address written %XX.
std::string FileUrl(std::string_view path);

// The local path a file: address names ("//host/path" with a host); false for
// any other scheme.
bool LocalPath(std::string_view url, std::string& path);

} // namespace lumetra::app::mpris
