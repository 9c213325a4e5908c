"""Key strings for the kelvo-sendkeys tests on X11 and on Wayland: pairs of
(key string, what a terminal receives), on the us and de layouts alike, and
strings that type themselves."""

# Every character printed on the main keys of both layouts' keyboards (the
# key string's own signs in braces). On de, @ needs AltGr and " / : & * =
# need Shift, so a sender that ignores the layout types q, 2, 7 ...
ON_THE_KEYS = ('abcdefghijklmnopqrstuvwxyz0123456789.\"/@:,&*={+}- ',
               'abcdefghijklmnopqrstuvwxyz0123456789."/@:,&*=+- ')
# Mixed case and punctuation in one run, which catches dropped, doubled or
# reordered keys as well as the wrong shift level.
SENTENCE = ("The Quick Brown Fox, 42 Jumps: over@lazy.dog/&*=-!?;'[]<>|\\_$#`",) * 2
# The key string's signs, typed literally.
SIGNS = ("{+}{^}{%}{~}{(}{)}{{}{}}", "+^%~(){}")
# Characters on neither layout's keys (or only behind dead keys), which need
# spare keycodes: repeats, neighbours and more distinct ones than a handful.
OFF_THE_LAYOUT = "éé€łñøéłł€ñåçœšžжλ✓é€😀aé1€bł2ééé"
MANY_DISTINCT = ("àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþÿłœšžčřőűđħŋŧжλ✓→€£¥©®°±µ¶§¿¡«»"
                 "ΩЖЯ")
