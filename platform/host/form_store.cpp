#include "platform/host/form_store.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

using Json = nlohmann::ordered_json;

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && lower(a) == lower(b);
}

// ---------------------------------------------------------------------------
// Reading. The text is walked once, event by event, and the form is built as
// the events arrive, so every complaint knows the line it is about and a
// damaged file never leaves half a form behind.

// Feeds the parser one character at a time and remembers how far it read.
class CountingIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountingIterator() = default;
    CountingIterator(const char* p, const char* base, std::size_t* furthest)
        : p_(p), base_(base), furthest_(furthest) {}
    reference operator*() const { return *p_; }
    CountingIterator& operator++() {
        ++p_;
        if (furthest_ != nullptr) *furthest_ = static_cast<std::size_t>(p_ - base_);
        return *this;
    }
    CountingIterator operator++(int) {
        CountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const CountingIterator& other) const { return p_ == other.p_; }
    bool operator!=(const CountingIterator& other) const { return p_ != other.p_; }

private:
    const char* p_ = nullptr;
    const char* base_ = nullptr;
    std::size_t* furthest_ = nullptr;
};

class FormBuilder {
public:
    FormBuilder(std::string_view text, std::string_view source, const FormStoreLimits& limits)
        : text_(text), source_(source), limits_(limits) {}

    // --- the parser's events ---
    bool null() { return scalar(Value{}); }
    bool boolean(bool v) { return scalar(Value{Value::Boolean, v}); }
    bool number_integer(std::int64_t v) { return scalar(Value{Value::Whole, false, v}); }
    bool number_unsigned(std::uint64_t v) {
        // Past 63 bits a whole number is out of every range the store knows.
        constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        return scalar(Value{Value::Whole, false, static_cast<std::int64_t>(std::min(v, kMax))});
    }
    bool number_float(double v, const std::string&) {
        return scalar(Value{Value::Fraction, false, 0, v});
    }
    bool string(std::string& v) {
        Value value{Value::Text};
        value.text = &v;
        return scalar(value);
    }
    bool binary(std::vector<std::uint8_t>&) { return fail("binary values have no place here"); }
    bool start_object(std::size_t) { return open(true); }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(false); }
    bool end_array() { return close(); }
    bool key(std::string& name) {
        Frame& f = frames_.back();
        if (f.kind == Kind::Skip) return true;
        const std::string folded = lower(name);
        if (std::find(f.seen.begin(), f.seen.end(), folded) != f.seen.end())
            return fail("the key \"" + name + "\" appears twice");
        f.seen.push_back(folded);
        f.key = name;
        return true;
    }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& e) {
        // The library's text starts with its own tag and position; keep what
        // follows the position.
        std::string what = e.what();
        if (const auto colon = what.find(": "); colon != std::string::npos)
            what = what.substr(colon + 2);
        if (error_.empty()) error_ = where(position > 0 ? position - 1 : 0) + what;
        return false;
    }

    std::size_t* progress() { return &furthest_; }

    FormStoreResult finish(bool parsed) {
        FormStoreResult result;
        if (!parsed || !error_.empty()) {
            result.error =
                error_.empty() ? where(furthest_) + "the store could not be read" : error_;
            return result;
        }
        if (!sawForm_) {
            result.error = std::string(source_) + ": the store has no \"form\" object";
            return result;
        }
        result.form = std::move(form_);
        return result;
    }

private:
    enum class Kind { Root, Form, Controls, Control, Properties, Skip };
    struct Frame {
        Kind kind;
        bool isObject;
        std::string key;               // the key whose value comes next
        std::vector<std::string> seen; // keys met so far, folded
        int skipDepth = 0;             // nesting inside a skipped value
    };
    struct Value {
        enum Type { Null, Boolean, Whole, Fraction, Text } type = Null;
        bool flag = false;
        std::int64_t whole = 0;
        double fraction = 0;
        std::string* text = nullptr;
    };

    // "FILE:LINE: " for the text read up to position.
    std::string where(std::size_t position) const {
        std::size_t p = std::min(position, text_.size());
        // The parser reads one character past a number or a word; step back
        // over it and over the spaces before it, so the line is the value's.
        if (p > 0) --p;
        while (p > 0 && std::isspace(static_cast<unsigned char>(text_[p])))
            --p;
        const auto line = 1 + std::count(text_.begin(), text_.begin() + static_cast<long>(p), '\n');
        return std::string(source_) + ':' + std::to_string(line) + ": ";
    }

    bool fail(const std::string& what) {
        if (error_.empty()) error_ = where(furthest_) + context() + what;
        return false;
    }

    // Names the control a complaint is about.
    std::string context() const {
        for (const Frame& f : frames_)
            if (f.kind == Kind::Control) {
                const FormControlRecord& c = form_.controls.back();
                return c.name.empty() ? "control " + std::to_string(form_.controls.size()) + ": "
                                      : "control \"" + c.name + "\": ";
            }
        return {};
    }

    bool open(bool isObject) {
        if (frames_.empty()) {
            if (!isObject) return fail("a store is a JSON object");
            frames_.push_back({Kind::Root, true, {}, {}});
            return true;
        }
        Frame& f = frames_.back();
        if (f.kind == Kind::Skip) {
            ++f.skipDepth;
            return true;
        }
        if (frames_.size() >= 8) return fail("values are nested too deeply");
        const std::string k = lower(f.key);
        switch (f.kind) {
        case Kind::Root:
            if (k == "form") {
                if (!isObject) return fail("\"form\" must be an object");
                sawForm_ = true;
                frames_.push_back({Kind::Form, true, {}, {}});
            } else if (k == "controls") {
                if (isObject) return fail("\"controls\" must be an array");
                frames_.push_back({Kind::Controls, false, {}, {}});
            } else {
                frames_.push_back({Kind::Skip, isObject, {}, {}});
            }
            return true;
        case Kind::Controls:
            if (!isObject) return fail("each control must be an object");
            if (form_.controls.size() >= limits_.maxControls)
                return fail("more than " + std::to_string(limits_.maxControls) + " controls");
            form_.controls.emplace_back();
            frames_.push_back({Kind::Control, true, {}, {}});
            return true;
        case Kind::Control:
            if (k == "properties") {
                if (!isObject) return fail("\"properties\" must be an object");
                frames_.push_back({Kind::Properties, true, {}, {}});
            } else if (isKnownControlField(k)) {
                return fail("\"" + f.key + "\" has the wrong kind of value");
            } else {
                frames_.push_back({Kind::Skip, isObject, {}, {}});
            }
            return true;
        case Kind::Properties:
            return fail("the property \"" + f.key +
                        "\" must be a number, a Boolean or a base64 string");
        case Kind::Form:
            if (k == "width" || k == "height")
                return fail("\"" + f.key + "\" has the wrong kind of value");
            frames_.push_back({Kind::Skip, isObject, {}, {}});
            return true;
        case Kind::Skip:
            break;
        }
        return true;
    }

    bool close() {
        Frame& f = frames_.back();
        if (f.kind == Kind::Skip && f.skipDepth > 0) {
            --f.skipDepth;
            return true;
        }
        if (f.kind == Kind::Control && !checkControl()) return false;
        frames_.pop_back();
        return true;
    }

    static bool isKnownControlField(const std::string& k) {
        return k == "type" || k == "name" || k == "container" || k == "left" || k == "top" ||
               k == "width" || k == "height";
    }

    bool checkControl() {
        const FormControlRecord& c = form_.controls.back();
        if (c.type.empty()) return fail("the control has no \"type\"");
        if (c.name.empty()) return fail("the control has no \"name\"");
        for (std::size_t i = 0; i + 1 < form_.controls.size(); ++i)
            if (sameName(form_.controls[i].name, c.name))
                return fail("the name is used by another control");
        return true;
    }

    bool extent(const Value& v, const std::string& name, bool mayBeNegative, std::int32_t& out) {
        if (v.type != Value::Whole) return fail("\"" + name + "\" must be a whole number");
        const std::int64_t low = mayBeNegative ? -std::int64_t{limits_.maxExtent} : 0;
        if (v.whole < low || v.whole > limits_.maxExtent)
            return fail("\"" + name + "\" is out of range (" + std::to_string(v.whole) + ")");
        out = static_cast<std::int32_t>(v.whole);
        return true;
    }

    bool text(const Value& v, const std::string& name, std::string& out) {
        if (v.type != Value::Text) return fail("\"" + name + "\" must be a string");
        out = *v.text;
        return true;
    }

    bool property(const Value& v, const std::string& name, PropertyStore& store) {
        switch (v.type) {
        case Value::Boolean:
            store.set(name, v.flag);
            return true;
        case Value::Whole:
            if (v.whole < std::numeric_limits<std::int32_t>::min() ||
                v.whole > std::numeric_limits<std::int32_t>::max())
                return fail("the property \"" + name + "\" does not fit in 32 bits");
            store.set(name, static_cast<std::int32_t>(v.whole));
            return true;
        case Value::Fraction:
            if (!std::isfinite(v.fraction) ||
                std::fabs(v.fraction) > std::numeric_limits<float>::max())
                return fail("the property \"" + name + "\" is out of range");
            store.set(name, static_cast<float>(v.fraction));
            return true;
        case Value::Text:
            if (auto bytes = DecodeBase64(*v.text)) {
                store.set(name, std::move(*bytes));
                return true;
            }
            return fail("the property \"" + name + "\" is not valid base64");
        case Value::Null:
            break;
        }
        return fail("the property \"" + name + "\" must be a number, a Boolean or a base64 string");
    }

    bool scalar(const Value& v) {
        if (frames_.empty()) return fail("a store is a JSON object");
        Frame& f = frames_.back();
        const std::string k = lower(f.key);
        switch (f.kind) {
        case Kind::Skip:
        case Kind::Root:
            return true;
        case Kind::Controls:
            return fail("each control must be an object");
        case Kind::Form:
            if (k == "width") return extent(v, f.key, false, form_.width);
            if (k == "height") return extent(v, f.key, false, form_.height);
            return true;
        case Kind::Control: {
            FormControlRecord& c = form_.controls.back();
            if (k == "type") return text(v, f.key, c.type);
            if (k == "name") return text(v, f.key, c.name);
            if (k == "container") return text(v, f.key, c.container);
            if (k == "left") return extent(v, f.key, true, c.left);
            if (k == "top") return extent(v, f.key, true, c.top);
            if (k == "width") return extent(v, f.key, false, c.width);
            if (k == "height") return extent(v, f.key, false, c.height);
            if (k == "properties") return fail("\"properties\" must be an object");
            return true;
        }
        case Kind::Properties:
            return property(v, f.key, form_.controls.back().properties);
        }
        return true;
    }

    std::string_view text_;
    std::string_view source_;
    FormStoreLimits limits_;
    std::vector<Frame> frames_;
    FormRecord form_;
    bool sawForm_ = false;
    std::size_t furthest_ = 0;
    std::string error_;
};

// ---------------------------------------------------------------------------
// Writing.

Json propertyJson(const PropertyValue& value) {
    return std::visit(
        [](const auto& v) -> Json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, float>) {
                // The shortest text that reads back as the same single, so
                // 0.1 is stored as 0.1 and not as its double neighbour; a
                // whole value keeps a fraction so it reads back as a single.
                std::array<char, 32> buffer{};
                const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v).ptr;
                return Json(std::strtod(std::string(buffer.data(), end).c_str(), nullptr));
            } else if constexpr (std::is_same_v<T, std::string>) {
                return Json(EncodeBase64(
                    std::span(reinterpret_cast<const std::uint8_t*>(v.data()), v.size())));
            } else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
                return Json(EncodeBase64(v));
            } else {
                return Json(v);
            }
        },
        value);
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

FormControlRecord* FormRecord::find(std::string_view name) {
    for (FormControlRecord& c : controls)
        if (sameName(c.name, name)) return &c;
    return nullptr;
}

const FormControlRecord* FormRecord::find(std::string_view name) const {
    return const_cast<FormRecord*>(this)->find(name);
}

FormStoreResult ParseFormStore(std::string_view text, std::string_view sourceName,
                               const FormStoreLimits& limits) {
    if (text.size() > limits.maxFileBytes) {
        FormStoreResult result;
        result.error = std::string(sourceName) + ": the store is larger than " +
                       std::to_string(limits.maxFileBytes) + " bytes";
        return result;
    }
    FormBuilder builder(text, sourceName, limits);
    const CountingIterator first(text.data(), text.data(), builder.progress());
    const CountingIterator last(text.data() + text.size(), text.data(), nullptr);
    bool parsed = false;
    try {
        parsed = Json::sax_parse(first, last, &builder);
    } catch (const std::exception&) {
        parsed = false; // out of memory inside the parser
    }
    return builder.finish(parsed);
}

FormStoreResult ReadFormStore(const std::filesystem::path& file, const FormStoreLimits& limits) {
    FormStoreResult result;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        result.error = file.string() + ": cannot open the store: " + std::strerror(errno);
        return result;
    }
    std::string text;
    std::array<char, 65536> chunk{};
    while (in) {
        in.read(chunk.data(), chunk.size());
        text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
        if (text.size() > limits.maxFileBytes) {
            result.error = file.string() + ": the store is larger than " +
                           std::to_string(limits.maxFileBytes) + " bytes";
            return result;
        }
    }
    if (in.bad()) {
        result.error = file.string() + ": cannot read the store";
        return result;
    }
    return ParseFormStore(text, file.string(), limits);
}

std::string SerializeFormStore(const FormRecord& form) {
    Json root = Json::object();
    root["form"] = Json{{"width", form.width}, {"height", form.height}};
    Json controls = Json::array();
    for (const FormControlRecord& c : form.controls) {
        Json properties = Json::object();
        for (const std::string& name : c.properties.names())
            properties[name] = propertyJson(*c.properties.find(name));
        Json control{{"type", c.type}, {"name", c.name}};
        if (!c.container.empty()) control["container"] = c.container;
        control["left"] = c.left;
        control["top"] = c.top;
        control["width"] = c.width;
        control["height"] = c.height;
        control["properties"] = std::move(properties);
        controls.push_back(std::move(control));
    }
    root["controls"] = std::move(controls);
    return root.dump(2) + '\n';
}

bool WriteFormStore(const std::filesystem::path& file, const FormRecord& form, std::string& error) {
    std::string text;
    try {
        text = SerializeFormStore(form);
    } catch (const std::exception& e) {
        error = file.string() + ": cannot write the store: " + e.what();
        return false;
    }
    const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : ".";
    // Built by appending: GCC 12's optimiser warns falsely about a
    // concatenation starting with a literal here.
    std::string tempName(1, '.');
    tempName += file.filename().string();
    tempName += ".XXXXXX";
    std::string temp = (dir / tempName).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = file.string() + ": cannot write the store: " + std::strerror(errno);
        return false;
    }
    // A new store gets the permissions a newly created file would get.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), file.c_str()) == 0) {
        // Best effort: make the rename itself durable.
        if (const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY); dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
        return true;
    }
    error = file.string() + ": cannot write the store: " +
            std::strerror(ok ? errno : (savedErrno != 0 ? savedErrno : EIO));
    ::unlink(temp.c_str());
    return false;
}

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v =
            (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (const std::size_t rest = bytes.size() - i; rest > 0) {
        std::uint32_t v = std::uint32_t{bytes[i]} << 16;
        if (rest == 2) v |= std::uint32_t{bytes[i + 1]} << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
    const auto digit = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int d[4];
        int padding = 0;
        for (int j = 0; j < 4; ++j) {
            const char c = text[i + static_cast<std::size_t>(j)];
            if (c == '=' && last && j >= 2) {
                ++padding;
                d[j] = 0;
                continue;
            }
            if (padding > 0) return std::nullopt; // a digit after padding
            d[j] = digit(c);
            if (d[j] < 0) return std::nullopt;
        }
        const std::uint32_t v =
            (static_cast<std::uint32_t>(d[0]) << 18) | (static_cast<std::uint32_t>(d[1]) << 12) |
            (static_cast<std::uint32_t>(d[2]) << 6) | static_cast<std::uint32_t>(d[3]);
        // Bits the padding leaves over must be zero, so every byte array
        // has exactly one spelling.
        if ((padding == 1 && (v & 0xFF) != 0) || (padding == 2 && (v & 0xFFFF) != 0))
            return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(v >> 16));
        if (padding < 2) out.push_back(static_cast<std::uint8_t>(v >> 8));
        if (padding < 1) out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

} // namespace platform
