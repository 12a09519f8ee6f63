// engine: encoder
