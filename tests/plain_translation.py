"""The translation algorithm as a user would write it in plain Python: the
reference that the tests compare the module with, and the baseline that the
benchmarks measure it against."""


def changeover(num, base):
    digits = []
    if num < 0:
        return changeover(abs(num), base)
    while True:
        num, reminder = divmod(num, base)
        digits.append(str(reminder))
        if num == 0:
            break
    return "".join(digits[::-1])


def encode(imput, value_list, numbers_list):
    base = len(numbers_list) - 1
    answer = " ".join([format(changeover(ord(i), base)) for i in imput])
    for x in range(base + 1):
        answer = answer.replace(str(numbers_list[x]), value_list[x])
    return answer


def decode(imput, value_list, numbers_list):
    base = len(numbers_list) - 1
    for x in range(base + 1):
        imput = imput.replace(value_list[x], str(numbers_list[x]))
    usually_list = imput.split()
    return "".join([format(chr(int(usually, base))) for usually in usually_list])
