#!/usr/bin/env python3
"""Writes the five caption tables that the executable embeds.

Each table holds the service's two rows. english and prtbrzl are 8-bit Windows-1252 text
without a byte-order mark; french, korean and russian are UTF-16LE behind FF FE. Lines end
in CR LF, except the last, which has no line end.

Run from anywhere: python3 src/config/caption_tables/generate.py
"""

import pathlib

SERVICE_CAPTIONS = {
    "english": (
        "Calvera Memory Service",
        "Maintains memory performance by defragmenting used memory and allocating it back to "
        "the computer system.",
    ),
    "french": (
        "Calvera Service Mémoire",
        "Maintenant les performances en défragmentant la mémoire utilisée et la ré-allouer au "
        "système.",
    ),
    "korean": (
        "Calvera 서비스",
        "사용된 RAM을 조각모음하고 시스템에 할당시켜 RAM 성능을 유지합니다.",
    ),
    "prtbrzl": (
        "Serviço de Memória do Calvera",
        "Mantém o desempenho da memória, desfragmentando a memória usada e alocando-a de volta "
        "ao sistema.",
    ),
    "russian": (
        "Calvera Служба Памяти",
        "Поддерживает производительность подсистемы памяти за счет дефрагментации используемой "
        "памяти и выделение его обратно на компьютер.",
    ),
}

ENCODINGS = {
    "english": ("cp1252", b""),
    "french": ("utf-16-le", b"\xff\xfe"),
    "korean": ("utf-16-le", b"\xff\xfe"),
    "prtbrzl": ("cp1252", b""),
    "russian": ("utf-16-le", b"\xff\xfe"),
}


def quoted(text):
    return '"' + text.replace('"', '""') + '"'


def table_text(display_name, description):
    rows = [
        f"Calvera, DisplayName, {quoted(display_name)}",
        f"Calvera, Description, {quoted(description)}",
    ]
    return "\r\n".join(rows)


def main():
    folder = pathlib.Path(__file__).resolve().parent
    for language, captions in SERVICE_CAPTIONS.items():
        codec, mark = ENCODINGS[language]
        data = mark + table_text(*captions).encode(codec)
        (folder / f"{language}.txt").write_bytes(data)


if __name__ == "__main__":
    main()
