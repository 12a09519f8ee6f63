"""Realistic input for the benchmarks: text as people chat, mixed CJK and
ASCII words with blanks, punctuation and line breaks, and a share of emoji
and other characters above U+FFFF (about 2% of the characters)."""

import random

LETTERS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
PUNCTUATION = "，。！？、,.!?:;\"'()"


def chat_text(characters, seed=2026):
    """About `characters` characters of chat-like text, the same for a seed."""
    rnd = random.Random(seed)
    cjk = [chr(rnd.randint(0x4E00, 0x9FFF)) for _ in range(3000)]
    emoji = [chr(c) for c in list(range(0x1F600, 0x1F650)) + list(range(0x1F300, 0x1F400))]
    astral = [chr(rnd.randint(0x20000, 0x2A6DF)) for _ in range(300)]
    pieces, count = [], 0
    while count < characters:
        kind = rnd.random()
        if kind < 0.45:
            piece = "".join(rnd.choice(cjk) for _ in range(rnd.randint(2, 12)))
        elif kind < 0.80:
            piece = "".join(rnd.choice(LETTERS) for _ in range(rnd.randint(1, 9))) + " "
        elif kind < 0.90:
            piece = rnd.choice(PUNCTUATION)
        elif kind < 0.95:
            piece = "".join(rnd.choice(emoji) for _ in range(rnd.randint(1, 3)))
        elif kind < 0.96:
            piece = rnd.choice(astral)
        else:
            piece = "\n"
        pieces.append(piece)
        count += len(piece)
    return "".join(pieces)[:characters]
