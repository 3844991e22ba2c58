// replaced as the reader lands
