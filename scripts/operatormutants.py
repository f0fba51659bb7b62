"""Operator mutants of C++ source lines: what scripts/mutate.py --random plants.

Each mutant changes one line (or puts one line before it) in a way a slip of the hand would:
    rel   a relational operator moved across its boundary (< and <=, > and >=)
    eq    an equality operator swapped (== and !=)
    neg   a condition of an if or a while negated
    bool  a boolean constant flipped
    int   an integer constant moved by one
    call  a call that stands as a statement removed (a save, a write, an emit, a check ...)
    ret   an early return put before a statement of a function body
Lines are read as clang-format writes them (binary operators between spaces, function bodies four
spaces in, definitions at the left margin); what cannot be read that way is left alone. Text inside
string and character literals and comments is never touched.
"""
import hashlib
import re

KEYWORDS_NOT_CALLS = {"return", "if", "while", "for", "switch", "delete", "else", "case", "throw", "do", "co_return",
                      "goto", "using", "typedef", "namespace", "template", "static_assert", "Q_UNUSED", "Q_ASSERT",
                      "Q_DECLARE_METATYPE", "Q_OBJECT", "Q_GADGET", "Q_ENUM"}


def mask(line):
    """The line with string/char literals and comments blanked (same length), so operators are found in code only."""
    out, i, n = [], 0, len(line)
    while i < n:
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if c == 'R' and line.startswith('R"', i):  # raw string: R"delim( ... )delim"
            m = re.match(r'R"([^(\s]*)\(', line[i:])
            if m:
                end = line.find(")" + m.group(1) + '"', i + m.end())
                stop = n if end < 0 else end + len(m.group(1)) + 2
                out.append(" " * (stop - i))
                i = stop
                continue
        if c in "\"'":
            # a digit separator (1'000) is not a literal
            if c == "'" and i > 0 and line[i - 1].isalnum() and i + 1 < n and line[i + 1].isalnum():
                out.append(c)
                i += 1
                continue
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            stop = min(j + 1, n)
            out.append(c + " " * (stop - i - 2) + (c if stop - i >= 2 else ""))
            i = stop
            continue
        out.append(c)
        i += 1
    return "".join(out)[:n]


def balanced_close(masked, open_index):
    depth = 0
    for j in range(open_index, len(masked)):
        if masked[j] == "(":
            depth += 1
        elif masked[j] == ")":
            depth -= 1
            if depth == 0:
                return j
    return -1


def function_header(lines, index):
    """The line (at the left margin) that opens the definition holding line `index`, or None."""
    for j in range(index - 1, -1, -1):
        text = lines[j]
        if text and not text[0].isspace() and not text.startswith(("//", "#", "}", "{")):
            return text
        if text.startswith("}"):
            return None  # the line is not inside a definition that begins further up
    return None


def returns_nothing(header):
    h = re.sub(r"^(static|inline|constexpr|\[\[nodiscard\]\])\s+", "", header.strip())
    if h.startswith("void "):
        return True
    # a constructor or a destructor: Name::Name( or Name::~Name(
    m = re.match(r"(?:[\w:]*::)?(\w+)::~?(\w+)\(", h)
    return bool(m and m.group(1) == m.group(2))


def statement_start(lines, index):
    """True when line `index` begins a statement (the one before it ended one or opened a block)."""
    for j in range(index - 1, -1, -1):
        prev = mask(lines[j]).rstrip()
        if not prev.strip():
            continue
        return prev.endswith((";", "{", "}")) and not prev.strip().startswith(("case ", "default:"))
    return False


def candidates(lines, index):
    """Every mutant of line `index` (0-based) as (operator, new text of the line, what it says)."""
    line = lines[index]
    masked = mask(line)
    code = masked.strip()
    found = []
    if not code or code.startswith(("#", "static_assert", "template", "using ")):
        return found
    if code.startswith("Q_") and not code.startswith("Q_EMIT"):
        return found

    def at(start, end, new, op, says):
        found.append((op, line[:start] + new + line[end:], says))

    for m in re.finditer(r"(?<=[\w)\]'\"]) (<=|>=|<|>) (?=[\w(!\-'\"])", masked):
        op = m.group(1)
        other = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}[op]
        at(m.start(1), m.end(1), other, "rel", f"{op} becomes {other}")
    for m in re.finditer(r" (==|!=) ", masked):
        other = "!=" if m.group(1) == "==" else "=="
        at(m.start(1), m.end(1), other, "eq", f"{m.group(1)} becomes {other}")
    for m in re.finditer(r"\b(?:if|while) \(", masked):
        open_index = m.end() - 1
        close = balanced_close(masked, open_index)
        if close > open_index + 1 and not masked[open_index + 1:close].lstrip().startswith(("const ", "auto ")):
            inner = line[open_index + 1:close]
            if ";" not in masked[open_index + 1:close]:  # not an if with an initialiser
                at(open_index + 1, close, "!(" + inner + ")", "neg", "the condition is negated")
    for m in re.finditer(r"\b(true|false)\b", masked):
        other = "false" if m.group(1) == "true" else "true"
        at(m.start(), m.end(), other, "bool", f"{m.group(1)} becomes {other}")
    for m in re.finditer(r"(?<![\w.'])(\d+)(?![\w.'])", masked):
        value = int(m.group(1))
        if masked[:m.start()].rstrip().endswith("["):
            continue  # an array's size: a changed size is rarely a behaviour
        for other in ([value + 1] if value == 0 else [value + 1, value - 1]):
            at(m.start(), m.end(), str(other), "int", f"{value} becomes {other}")
    call = re.match(r"^(\s*)((?:Q_EMIT\s+)?[A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*|\(\))*\s*\(.*\);)\s*$", masked)
    if call:
        head = re.match(r"(?:Q_EMIT\s+)?([A-Za-z_][\w]*)", call.group(2)).group(1)
        first_open = masked.index("(", len(call.group(1)))
        if (head not in KEYWORDS_NOT_CALLS and balanced_close(masked, first_open) == len(masked.rstrip()) - 2
                and masked.count("(") == masked.count(")")):
            found.append(("call", call.group(1) + "{}", "the call is removed"))
    indent = len(line) - len(line.lstrip(" "))
    if (indent == 4 and not code.startswith(("return", "}", "case ", "default:", "else", "{", "Q_UNUSED"))
            and statement_start(lines, index)):
        header = function_header(lines, index)
        if header and "(" in header and not header.startswith(("namespace", "class ", "struct ", "enum ")):
            value = "return;" if returns_nothing(header) else "return {};"
            found.append(("ret", " " * indent + value + "\n" + line, f"{value} comes first"))
    return found


def mutant_id(path, op, original, mutated, occurrence):
    key = "\0".join([path, op, original.strip(), mutated.strip(), str(occurrence)])
    return hashlib.sha1(key.encode()).hexdigest()[:10]


def mutants_of(path, text, covered_lines):
    """All mutants of the covered lines (1-based numbers) of a file: dicts with id, file, line, op, old, new, says."""
    lines = text.split("\n")
    result = []
    for number in sorted(covered_lines):
        if number < 1 or number > len(lines):
            continue
        original = lines[number - 1]
        # the same text on an earlier line makes another mutant: the id counts which one it is
        occurrence = sum(1 for earlier in lines[:number - 1] if earlier.strip() == original.strip())
        for op, new, says in candidates(lines, number - 1):
            result.append({"id": mutant_id(path, op, original, new, occurrence), "file": path, "line": number,
                           "op": op, "old": original, "new": new, "says": says})
    return result


def plant(text, mutant):
    lines = text.split("\n")
    if lines[mutant["line"] - 1] != mutant["old"]:
        raise ValueError(f"{mutant['file']}:{mutant['line']} is no longer the line the mutant was made from")
    lines[mutant["line"] - 1] = mutant["new"]
    return "\n".join(lines)
