// engine: base_digits
