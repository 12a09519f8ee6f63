#include "reference.hpp"

namespace reference {

namespace {

// Text whose every character remembers the input character it came from.
struct Traced {
    Text text;
    std::vector<std::size_t> origin;
    std::size_t end;  // where the input ends
};

void append(Traced& out, const Text& text, std::size_t origin) {
    out.text += text;
    out.origin.insert(out.origin.end(), text.size(), origin);
}

Traced replace_traced(const Traced& in, const Pass& pass) {
    Traced out{{}, {}, in.end};
    if (pass.pattern.empty()) {
        for (std::size_t i = 0; i < in.text.size(); ++i) {
            append(out, pass.replacement, in.origin[i]);
            append(out, Text(1, in.text[i]), in.origin[i]);
        }
        append(out, pass.replacement, in.end);
        return out;
    }
    std::size_t at = 0;
    for (std::size_t found; (found = in.text.find(pass.pattern, at)) != Text::npos;
         at = found + pass.pattern.size()) {
        for (std::size_t i = at; i < found; ++i) append(out, Text(1, in.text[i]), in.origin[i]);
        append(out, pass.replacement, in.origin[found]);
    }
    for (std::size_t i = at; i < in.text.size(); ++i)
        append(out, Text(1, in.text[i]), in.origin[i]);
    return out;
}

Text digits_of(CodePoint value, unsigned base) {
    Text digits;
    do {
        digits.insert(digits.begin(), CodePoint(U'0' + value % base));
        value /= base;
    } while (value != 0);
    return digits;
}

}  // namespace

bool is_whitespace(CodePoint c) {
    static const Text blanks =
        U"\t\n\v\f\r\x1c\x1d\x1e\x1f \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004"
        U"\u2005\u2006\u2007\u2008\u2009\u200a\u2028\u2029\u202f\u205f\u3000";
    return blanks.find(c) != Text::npos;
}

Text replace_all(const Text& text, const Text& pattern, const Text& replacement) {
    Traced in{text, std::vector<std::size_t>(text.size(), 0), 0};
    return replace_traced(in, {pattern, replacement}).text;
}

Text apply_passes(Text text, const std::vector<Pass>& passes) {
    for (const Pass& pass : passes) text = replace_all(text, pass.pattern, pass.replacement);
    return text;
}

Text encode(const Text& input, unsigned base, const std::vector<Pass>& passes) {
    Text joined;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (i != 0) joined += U' ';
        joined += digits_of(input[i], base);
    }
    return apply_passes(joined, passes);
}

Decoded decode(const Text& input, unsigned base, const std::vector<Pass>& passes,
               bool refuse_surrogates) {
    Traced text{input, {}, input.size()};
    for (std::size_t i = 0; i < input.size(); ++i) text.origin.push_back(i);
    for (const Pass& pass : passes) text = replace_traced(text, pass);
    Decoded decoded;
    engine::GroupReader reader(base);
    for (std::size_t i = 0; i < text.text.size();) {
        if (is_whitespace(text.text[i])) {
            ++i;
            continue;
        }
        decoded.offset = text.origin[i];
        for (; i < text.text.size() && !is_whitespace(text.text[i]); ++i) reader.take(text.text[i]);
        const engine::GroupValue value = reader.finish();
        if (value.problem != engine::GroupProblem::none) {
            decoded.stop = Decoded::Stop::unreadable;
            decoded.problem = value.problem;
            return decoded;
        }
        if (refuse_surrogates && (value.character & ~CodePoint(0x7FF)) == 0xD800) {
            decoded.stop = Decoded::Stop::surrogate;
            decoded.surrogate = value.character;
            return decoded;
        }
        decoded.characters += value.character;
    }
    decoded.offset = 0;
    return decoded;
}

}  // namespace reference
