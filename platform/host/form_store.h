#pragma once
// A form's saved layout on disk: the form's size and, for each control, its
// type, name, position, size and persisted properties. The one place form
// store files are read and written.
//
// The file is JSON:
//
//   {
//     "form": { "width": 640, "height": 480 },
//     "controls": [
//       { "type": "aicAlphaImage", "name": "Image1", "container": "Picture1",
//         "left": 8, "top": 8, "width": 32, "height": 32,
//         "properties": { "Image": "iVBORw0KGgo...", "Opacity": 50,
//                         "Intensity": 12.5, "Enabled": false } }
//     ]
//   }
//
// Property values: a JSON boolean is a Boolean, a whole number a 32-bit
// number, a number with a fraction or exponent a single-precision number,
// and a string the base64 of a byte array (pictures are their file bytes).
// "container" may be left out (the control sits on the form).
// Keys of every object match without regard to letter case. Control names
// are unique without regard to case.
//
// Reading refuses a damaged file with one message naming the file, the line
// and what was wrong, and never answers half a form. Keys this version does
// not know are kept and written back where they stood (unknown properties
// are ordinary properties). Writing never writes what reading would refuse,
// and a failed save leaves the previous file as it was.

#include "platform/host/property_store.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A key this version of the store does not know (left for later versions),
// kept so that saving gives it back where it stood.
struct FormStoreExtra {
    std::string key;   // as spelled in the file
    std::string value; // its JSON value, as compact text
    std::string after; // the known key it followed, in lower case; empty when first
};

struct FormControlRecord {
    std::string type;
    std::string name;
    // The control's container on the form (a picture box); empty when the
    // control sits on the form itself. Positions are in its pixels.
    std::string container;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    PropertyStore properties;
    std::vector<FormStoreExtra> extras = {}; // unknown control fields
};

struct FormRecord {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<FormControlRecord> controls;     // in the form's order
    std::vector<FormStoreExtra> extras = {};     // unknown keys of the store itself
    std::vector<FormStoreExtra> formExtras = {}; // unknown keys of "form"

    // The control of that name (without regard to case), or null.
    FormControlRecord* find(std::string_view name);
    const FormControlRecord* find(std::string_view name) const;
};

// What reading a store gives: the form, or why there is none.
struct FormStoreResult {
    std::optional<FormRecord> form;
    std::string error; // "FILE:LINE: what was wrong" when form is empty

    explicit operator bool() const { return form.has_value(); }
};

// Limits on what a store may ask for, checked before anything is made.
struct FormStoreLimits {
    std::size_t maxFileBytes = 256u << 20;
    std::size_t maxControls = 10000;
    std::int32_t maxExtent = 1 << 20; // form and control sizes, positions
};

// Reads a store from text; sourceName names it in messages.
FormStoreResult ParseFormStore(std::string_view text, std::string_view sourceName,
                               const FormStoreLimits& limits = {});
FormStoreResult ReadFormStore(const std::filesystem::path& file,
                              const FormStoreLimits& limits = {});

// The store's text, property keys in the order the record holds them and
// kept unknown keys where they stood.
std::string SerializeFormStore(const FormRecord& form);
// What in the record reading its store would refuse under these limits (the
// same checks the reader makes), or "" when there is nothing.
std::string CheckFormRecord(const FormRecord& form, const FormStoreLimits& limits = {});
// Writes the store durably (see platform/system/durable_file.h): the file is
// replaced whole or not at all, keeps its mode, and a link to it stays a link.
// A record the reader would refuse under the limits is not written. False
// with the reason in error when it was not written.
bool WriteFormStore(const std::filesystem::path& file, const FormRecord& form, std::string& error,
                    const FormStoreLimits& limits = {});

// Base64 (standard alphabet, padded) as the store keeps byte arrays.
std::string EncodeBase64(std::span<const std::uint8_t> bytes);
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

} // namespace platform
