"""Measures of a screenshot's sharpness, for the keyboard at twice the scale
against the keyboard at one scale enlarged smoothly.

A picture is a list of rows of luminance values (0 to 255). Standard
library only.
"""


def luminance(width, height, rgb):
    """The picture of RGB bytes (as kelvo_desktop.read_ppm gives them)."""
    return [[(299 * rgb[3 * (y * width + x)] + 587 * rgb[3 * (y * width + x) + 1]
              + 114 * rgb[3 * (y * width + x) + 2]) / 1000 for x in range(width)] for y in range(height)]


def enlarged_smoothly(picture):
    """The picture at twice its size each way, each new pixel interpolated
    linearly from the four nearest old pixel centres."""
    height, width = len(picture), len(picture[0])

    def source(at, size):
        s = min(max((at + 0.5) / 2 - 0.5, 0), size - 1)
        low = int(s)
        return low, min(low + 1, size - 1), s - low
    columns = [source(x, width) for x in range(2 * width)]
    out = []
    for y in range(2 * height):
        y0, y1, fy = source(y, height)
        upper, lower = picture[y0], picture[y1]
        out.append([(upper[x0] * (1 - fx) + upper[x1] * fx) * (1 - fy) + (lower[x0] * (1 - fx) + lower[x1] * fx) * fy
                    for x0, x1, fx in columns])
    return out


def edge_measures(picture):
    """(sharpness, spread) of a picture.

    sharpness: the mean squared difference between neighbouring pixels; an
    edge drawn at the pixels is steep, one enlarged smoothly spread over two
    pixels and half as steep.
    spread: the changes between the two pixels of each aligned pair, over
    the changes from one pair to the next. A picture enlarged by repeating
    each pixel twice changes only between pairs (0); enlarged smoothly, about
    as much within them as between (near 1).
    """
    height, width = len(picture), len(picture[0])
    sums = {"squares": 0, "count": 0, "within": 0, "between": 0}

    def step(a, b, first_of_pair):
        d = abs(b - a)
        sums["squares"] += d * d
        sums["count"] += 1
        sums["within" if first_of_pair else "between"] += d
    for y in range(height):
        row = picture[y]
        below = picture[y + 1] if y + 1 < height else None
        for x in range(width):
            if x + 1 < width:
                step(row[x], row[x + 1], x % 2 == 0)
            if below is not None:
                step(row[x], below[x], y % 2 == 0)
    return sums["squares"] / sums["count"], sums["within"] / max(sums["between"], 1)
