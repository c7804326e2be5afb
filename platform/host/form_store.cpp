#include "platform/host/form_store.h"

#include "platform/system/durable_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <unordered_set>

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

// The keys this version knows at each level, in the order they are written;
// every other key is kept as read and written back after the known key it
// followed.
constexpr std::array<std::string_view, 2> kRootKeys{"form", "controls"};
constexpr std::array<std::string_view, 2> kFormKeys{"width", "height"};
constexpr std::array<std::string_view, 8> kControlKeys{"type", "name",  "container", "left",
                                                       "top",  "width", "height",    "properties"};

template <std::size_t N>
bool known(const std::array<std::string_view, N>& keys, std::string_view folded) {
    return std::find(keys.begin(), keys.end(), folded) != keys.end();
}

// Open arrays and objects at once, counting the store itself: far more than
// a store of this version needs, and few enough that keeping and writing
// back an unknown value can never run out of stack.
constexpr std::size_t kMaxDepth = 8;

// ---------------------------------------------------------------------------
// Validation, shared by the reader and the writer so that nothing is written
// that reading would refuse. Each answers what is wrong, or nothing.

std::optional<std::string> extentProblem(std::string_view name, std::int64_t value,
                                         bool mayBeNegative, const FormStoreLimits& limits) {
    const std::int64_t low = mayBeNegative ? -std::int64_t{limits.maxExtent} : 0;
    if (value < low || value > limits.maxExtent) {
        // Built by appending: GCC 12's optimiser warns falsely about a
        // concatenation starting with a literal here.
        std::string problem(1, '"');
        problem += name;
        problem += "\" is out of range (";
        problem += std::to_string(value);
        problem += ')';
        return problem;
    }
    return std::nullopt;
}

std::optional<std::string> singleProblem(std::string_view name, double value) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return "the property \"" + std::string(name) + "\" is out of range";
    return std::nullopt;
}

std::optional<std::string> controlCountProblem(std::size_t count, const FormStoreLimits& limits) {
    if (count > limits.maxControls)
        return "more than " + std::to_string(limits.maxControls) + " controls";
    return std::nullopt;
}

// A control's type and name; `names` holds the folded names of the controls
// before it and gains this one.
std::optional<std::string> identityProblem(const FormControlRecord& c,
                                           std::unordered_set<std::string>& names) {
    if (c.type.empty()) return "the control has no \"type\"";
    if (c.name.empty()) return "the control has no \"name\"";
    if (!names.insert(lower(c.name)).second) return "the name is used by another control";
    return std::nullopt;
}

std::optional<std::string> sizeProblem(std::size_t bytes, const FormStoreLimits& limits) {
    if (bytes > limits.maxFileBytes)
        return "the store is larger than " + std::to_string(limits.maxFileBytes) + " bytes";
    return std::nullopt;
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
        // Past 63 bits a whole number is out of every range the store knows;
        // an unknown key keeps it whole.
        constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        Value value{Value::Whole, false, static_cast<std::int64_t>(std::min(v, kMax))};
        value.wholeUnsigned = v;
        return scalar(value);
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
        f.key = name;
        // Inside a value kept for later versions a repeated key replaces
        // the earlier one, as JSON readers commonly do.
        if (f.kind == Kind::Skip) return true;
        const std::string folded = lower(name);
        if (std::find(f.seen.begin(), f.seen.end(), folded) != f.seen.end())
            return fail("the key \"" + name + "\" appears twice");
        f.seen.push_back(folded);
        if (isKnown(f.kind, folded)) f.lastKnown = folded;
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
        std::string lastKnown = {};    // the last known key met, folded
        // A value this version does not use, kept whole as it is read:
        // `kept` is the value and `open` the arrays and objects in it not
        // yet closed, innermost last.
        Json kept = nullptr;
        std::vector<Json*> open = {};
    };
    struct Value {
        enum Type { Null, Boolean, Whole, Fraction, Text } type = Null;
        bool flag = false;
        std::int64_t whole = 0;
        double fraction = 0;
        std::string* text = nullptr;
        std::optional<std::uint64_t> wholeUnsigned = std::nullopt;

        Json json() const {
            switch (type) {
            case Boolean:
                return flag;
            case Whole:
                return wholeUnsigned ? Json(*wholeUnsigned) : Json(whole);
            case Fraction:
                return fraction;
            case Text:
                return *text;
            case Null:
                break;
            }
            return nullptr;
        }
    };

    static bool isKnown(Kind kind, const std::string& folded) {
        switch (kind) {
        case Kind::Root:
            return known(kRootKeys, folded);
        case Kind::Form:
            return known(kFormKeys, folded);
        case Kind::Control:
            return known(kControlKeys, folded);
        default:
            return false;
        }
    }

    // Arrays and objects open, counting those inside a kept value.
    std::size_t depth() const {
        if (frames_.empty()) return 0;
        const Frame& top = frames_.back();
        return frames_.size() + (top.open.empty() ? 0 : top.open.size() - 1);
    }

    // Keeps an unknown key of the innermost known object, after the known
    // key it followed.
    void keep(const Frame& owner, Json value) {
        FormStoreExtra extra{owner.key, value.dump(), owner.lastKnown};
        switch (owner.kind) {
        case Kind::Root:
            form_.extras.push_back(std::move(extra));
            break;
        case Kind::Form:
            form_.formExtras.push_back(std::move(extra));
            break;
        case Kind::Control:
            form_.controls.back().extras.push_back(std::move(extra));
            break;
        default:
            break;
        }
    }

    // Starts keeping an unknown key's array or object.
    void startKeeping(bool isObject) {
        frames_.push_back({Kind::Skip, isObject, {}, {}});
        Frame& skip = frames_.back();
        skip.kept = isObject ? Json::object() : Json::array();
        skip.open.push_back(&skip.kept);
    }

    // Adds a value to the innermost open array or object of a kept value
    // and answers where it now lives.
    static Json* addKept(Frame& skip, Json value) {
        Json& into = *skip.open.back();
        if (into.is_object()) {
            Json& slot = into[skip.key];
            slot = std::move(value);
            return &slot;
        }
        into.push_back(std::move(value));
        return &into.back();
    }

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
        if (depth() >= kMaxDepth) return fail("values are nested too deeply");
        Frame& f = frames_.back();
        if (f.kind == Kind::Skip) {
            f.open.push_back(addKept(f, isObject ? Json::object() : Json::array()));
            return true;
        }
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
                startKeeping(isObject);
            }
            return true;
        case Kind::Controls:
            if (!isObject) return fail("each control must be an object");
            if (auto problem = controlCountProblem(form_.controls.size() + 1, limits_))
                return fail(*problem);
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
                startKeeping(isObject);
            }
            return true;
        case Kind::Properties:
            return fail("the property \"" + f.key +
                        "\" must be a number, a Boolean or a base64 string");
        case Kind::Form:
            if (k == "width" || k == "height")
                return fail("\"" + f.key + "\" has the wrong kind of value");
            startKeeping(isObject);
            return true;
        case Kind::Skip:
            break;
        }
        return true;
    }

    bool close() {
        Frame& f = frames_.back();
        if (f.kind == Kind::Skip) {
            f.open.pop_back();
            if (!f.open.empty()) return true;
            Json kept = std::move(f.kept);
            frames_.pop_back();
            keep(frames_.back(), std::move(kept));
            return true;
        }
        if (f.kind == Kind::Control && !checkControl()) return false;
        frames_.pop_back();
        return true;
    }

    static bool isKnownControlField(const std::string& k) {
        return k != "properties" && known(kControlKeys, k);
    }

    bool checkControl() {
        if (auto problem = identityProblem(form_.controls.back(), names_)) return fail(*problem);
        return true;
    }

    bool extent(const Value& v, const std::string& name, bool mayBeNegative, std::int32_t& out) {
        if (v.type != Value::Whole) return fail("\"" + name + "\" must be a whole number");
        if (auto problem = extentProblem(name, v.whole, mayBeNegative, limits_))
            return fail(*problem);
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
            if (auto problem = singleProblem(name, v.fraction)) return fail(*problem);
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
            addKept(f, v.json());
            return true;
        case Kind::Root:
            if (k == "form") return fail("\"form\" must be an object");
            if (k == "controls") return fail("\"controls\" must be an array");
            keep(f, v.json());
            return true;
        case Kind::Controls:
            return fail("each control must be an object");
        case Kind::Form:
            if (k == "width") return extent(v, f.key, false, form_.width);
            if (k == "height") return extent(v, f.key, false, form_.height);
            keep(f, v.json());
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
            keep(f, v.json());
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
    std::unordered_set<std::string> names_; // the controls' names so far, folded
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

// An object of known keys in their order, each followed by the unknown keys
// that followed it when the store was read. valueOf gives a known key's
// value; null leaves the key out.
template <std::size_t N, typename ValueOf>
Json objectWithExtras(const std::array<std::string_view, N>& keys,
                      const std::vector<FormStoreExtra>& extras, ValueOf valueOf) {
    Json object = Json::object();
    const auto addExtras = [&](std::string_view after) {
        for (const FormStoreExtra& e : extras)
            if (e.after == after) object[e.key] = Json::parse(e.value);
    };
    addExtras({});
    for (std::string_view key : keys) {
        if (Json value = valueOf(key); !value.is_null())
            object[std::string(key)] = std::move(value);
        addExtras(key);
    }
    // Kept keys that name no known key as their place go last.
    for (const FormStoreExtra& e : extras)
        if (!e.after.empty() && !known(keys, e.after)) object[e.key] = Json::parse(e.value);
    return object;
}

Json controlJson(const FormControlRecord& c) {
    return objectWithExtras(kControlKeys, c.extras, [&](std::string_view key) -> Json {
        if (key == "type") return c.type;
        if (key == "name") return c.name;
        if (key == "container") return c.container.empty() ? Json() : Json(c.container);
        if (key == "left") return c.left;
        if (key == "top") return c.top;
        if (key == "width") return c.width;
        if (key == "height") return c.height;
        Json properties = Json::object();
        for (const std::string& name : c.properties.names())
            properties[name] = propertyJson(*c.properties.find(name));
        return properties;
    });
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
    if (auto problem = sizeProblem(text.size(), limits)) {
        FormStoreResult result;
        result.error = std::string(sourceName) + ": " + *problem;
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
        if (auto problem = sizeProblem(text.size(), limits)) {
            result.error = file.string() + ": " + *problem;
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
    Json root = objectWithExtras(kRootKeys, form.extras, [&](std::string_view key) -> Json {
        if (key == "form")
            return objectWithExtras(kFormKeys, form.formExtras, [&](std::string_view k) -> Json {
                return k == "width" ? form.width : form.height;
            });
        Json controls = Json::array();
        for (const FormControlRecord& c : form.controls)
            controls.push_back(controlJson(c));
        return controls;
    });
    return root.dump(2) + '\n';
}

namespace {

// What reading would refuse in the record whose store text has textSize
// bytes.
std::string checkRecord(const FormRecord& form, std::size_t textSize,
                        const FormStoreLimits& limits) {
    std::string problem;
    if (auto tooLarge = sizeProblem(textSize, limits)) return *tooLarge;
    const auto found = [&](std::string prefix, std::optional<std::string> what) {
        if (what && problem.empty()) problem = std::move(prefix) + *what;
        return !problem.empty();
    };
    if (found({}, extentProblem("width", form.width, false, limits)) ||
        found({}, extentProblem("height", form.height, false, limits)) ||
        found({}, controlCountProblem(form.controls.size(), limits)))
        return problem;
    std::unordered_set<std::string> names;
    for (std::size_t i = 0; i < form.controls.size(); ++i) {
        const FormControlRecord& c = form.controls[i];
        const std::string who = c.name.empty() ? "control " + std::to_string(i + 1) + ": "
                                               : "control \"" + c.name + "\": ";
        if (found(who, identityProblem(c, names)) ||
            found(who, extentProblem("left", c.left, true, limits)) ||
            found(who, extentProblem("top", c.top, true, limits)) ||
            found(who, extentProblem("width", c.width, false, limits)) ||
            found(who, extentProblem("height", c.height, false, limits)))
            return problem;
        for (const std::string& name : c.properties.names())
            if (const auto* single = std::get_if<float>(c.properties.find(name));
                single != nullptr && found(who, singleProblem(name, *single)))
                return problem;
    }
    return problem;
}

} // namespace

std::string CheckFormRecord(const FormRecord& form, const FormStoreLimits& limits) {
    try {
        return checkRecord(form, SerializeFormStore(form).size(), limits);
    } catch (const std::exception& e) {
        return std::string("the store cannot be made: ") + e.what();
    }
}

bool WriteFormStore(const std::filesystem::path& file, const FormRecord& form, std::string& error,
                    const FormStoreLimits& limits) {
    std::string text;
    try {
        text = SerializeFormStore(form);
    } catch (const std::exception& e) {
        error = file.string() + ": cannot write the store: " + e.what();
        return false;
    }
    if (const std::string problem = checkRecord(form, text.size(), limits); !problem.empty()) {
        error = file.string() + ": cannot write the store: " + problem;
        return false;
    }
    const DurableWriteResult written = WriteFileDurably(file, text);
    if (!written) error = file.string() + ": cannot write the store: " + written.error;
    return written.ok;
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
